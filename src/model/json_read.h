// Small helpers shared by the loaders for the recurring shapes of keys: a
// pair of numbers from an array, a number-or-default.
#pragma once

#include "json/json_value.h"

namespace kivanime {

// Element i of an array read as a float, `fallback` when it is not a number.
inline float ElementFloat(const JsonValue& array, uint64_t i, float fallback) {
    return array.at(i).asFloat(fallback);
}

// Reads an array of at least two elements into (a, b); each element that is
// not a number gives `elementFallback`. Returns false (and leaves a and b)
// for a shorter array or any other kind.
inline bool ReadPair(const JsonValue& value, float& a, float& b, float elementFallback) {
    if (!value.isArray() || value.size() < 2) {
        return false;
    }
    a = ElementFloat(value, 0, elementFallback);
    b = ElementFloat(value, 1, elementFallback);
    return true;
}

// "scale": one number for both axes, or an array of at least two (an element
// that is not a number gives 1); anything else leaves (sx, sy).
inline void ReadScale(const JsonValue& value, float& sx, float& sy) {
    if (value.isNumber()) {
        sx = sy = value.asFloat(1.0f);
    } else {
        ReadPair(value, sx, sy, 1.0f);
    }
}

}  // namespace kivanime
