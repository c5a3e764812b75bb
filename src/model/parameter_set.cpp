#include "model/parameter_set.h"

#include <utility>

namespace kivanime {

int32_t ParameterSet::find(std::string_view name) const {
    const auto it = index.find(name);
    return it == index.end() ? -1 : it->second;
}

void ParameterSet::add(AnimeParameter parameter) {
    const int32_t at = find(parameter.name);
    if (at >= 0) {
        list[static_cast<size_t>(at)] = std::move(parameter);
        return;
    }
    index.emplace(parameter.name, static_cast<int32_t>(list.size()));
    list.push_back(std::move(parameter));
}

float ClampToRange(const AnimeParameter& parameter, float value) {
    return value < parameter.min ? parameter.min : (value > parameter.max ? parameter.max : value);
}

}  // namespace kivanime
