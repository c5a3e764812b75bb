// Reading a model file's "parameters": named numbers with a range and a
// default.
#pragma once

#include <limits>
#include <span>
#include <string>

#include "json/json_value.h"
#include "model/parameter_set.h"
#include "model/record_keys.h"

namespace kivanime {

// One entry of "parameters" as written, before its repairs.
struct ParameterEntry {
    std::string name;
    float min = 0.0f;
    float max = 1.0f;
    float def = std::numeric_limits<float>::quiet_NaN();  // absent: the minimum
};

extern const std::span<const RecordKey<ParameterEntry>> kParameterKeys;

// The parameter an entry makes: NaN bounds read as 0 and 1, bounds in the
// wrong order swapped, the default (the minimum when absent or NaN) clamped
// into them.
AnimeParameter RepairParameter(ParameterEntry entry);

// Adds the array's entries to the set in order: an entry with an empty name
// (or none) is skipped, a name seen before replaces that parameter in place.
void ReadParametersJson(ParameterSet& set, const JsonValue& array, const AnimeModel& model);

}  // namespace kivanime
