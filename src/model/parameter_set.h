// The named parameters of a model: numbers with a range and a default that
// motions, expressions, the game and the drivers set, and that bindings turn
// into part poses. Listed in file order; frames refer to them by index.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/name_map.h"

namespace kivanime {

struct AnimeParameter {
    std::string name;
    float min = 0.0f;
    float max = 1.0f;
    float def = 0.0f;  // inside [min, max]
};

struct ParameterSet {
    std::vector<AnimeParameter> list;  // file order, names unique and not empty
    NameIndex index;                   // name -> index in `list`

    // Index of the named parameter, or -1.
    int32_t find(std::string_view name) const;
    // Adds a parameter, or replaces the one of the same name where it stands.
    void add(AnimeParameter parameter);
};

// `value` clamped into the parameter's range (NaN is the caller's to refuse).
float ClampToRange(const AnimeParameter& parameter, float value);

}  // namespace kivanime
