#include "model/parameter_loader.h"

#include <cmath>
#include <utility>

namespace kivanime {

namespace {

constexpr RecordKey<ParameterEntry> kParameterKeyTable[] = {
    {"name", Want::String, [](ParameterEntry& p) { return FieldsOf(p.name); },
     "the parameter is skipped"},
    {"min", Want::Number, [](ParameterEntry& p) { return FieldsOf(p.min); }},
    {"max", Want::Number, [](ParameterEntry& p) { return FieldsOf(p.max); }},
    {"default", Want::Number, [](ParameterEntry& p) { return FieldsOf(p.def); },
     "the default is the minimum"},
};

}  // namespace

constinit const std::span<const RecordKey<ParameterEntry>> kParameterKeys = kParameterKeyTable;

AnimeParameter RepairParameter(ParameterEntry entry) {
    AnimeParameter p;
    p.name = std::move(entry.name);
    p.min = std::isnan(entry.min) ? 0.0f : entry.min;
    p.max = std::isnan(entry.max) ? 1.0f : entry.max;
    if (p.min > p.max) {
        std::swap(p.min, p.max);
    }
    p.def = std::isnan(entry.def) ? p.min : ClampToRange(p, entry.def);
    return p;
}

void ReadParametersJson(ParameterSet& set, const JsonValue& array, const AnimeModel& model) {
    if (!array.isArray()) {
        return;
    }
    for (const JsonValue& element : array.elements) {
        if (!element.isObject()) {
            continue;
        }
        ParameterEntry entry;
        ReadKeys(kParameterKeys, element, entry, model);
        // A name with a NUL in it could never be named again through the C
        // interface's strings (nor told apart from its part before the NUL),
        // so it is skipped like an empty one.
        if (!entry.name.empty() && entry.name.find('\0') == std::string::npos) {
            set.add(RepairParameter(std::move(entry)));
        }
    }
}

}  // namespace kivanime
