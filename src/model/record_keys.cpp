#include "model/record_keys.h"

#include <cmath>

namespace kivanime {

namespace {

// Reads the first `count` elements of an array of at least that many into the
// fields; an element that is not a number gives the element default. Any
// other value leaves the fields.
void ReadNumbers(const KeyFields& fields, size_t count, const JsonValue& value) {
    if (!value.isArray() || value.size() < count) {
        return;
    }
    const float fallback = ElementDefault(*fields.floats[0]);
    for (size_t k = 0; k < count; ++k) {
        *fields.floats[k] = value.at(k).asFloat(fallback);
    }
}

}  // namespace

float ElementDefault(float firstField) {
    return std::isnan(firstField) ? 0.0f : firstField;
}

void ReadFields(Want want, const KeyFields& fields, const JsonValue& value) {
    switch (want) {
        case Want::Number:
            *fields.floats[0] = value.asFloat(*fields.floats[0]);
            return;
        case Want::Present:
            *fields.floats[0] = value.asFloat(0.0f);
            return;
        case Want::Integer:
            *fields.integer = value.asInt(*fields.integer);
            return;
        case Want::PresentInt:
            *fields.integer = value.asInt(0);
            return;
        case Want::Bool:
            *fields.flag = value.asBool(*fields.flag);
            return;
        case Want::String:
            *fields.text = value.asString(*fields.text);
            return;
        case Want::Scale:
            if (value.isNumber()) {
                *fields.floats[0] = *fields.floats[1] = value.asFloat(0.0f);
                return;
            }
            ReadNumbers(fields, 2, value);
            return;
        case Want::Pair:
            ReadNumbers(fields, 2, value);
            return;
        case Want::Quad:
            ReadNumbers(fields, 4, value);
            return;
        case Want::Array:
        case Want::Object:
            return;  // read by the key's own reader
    }
}

}  // namespace kivanime
