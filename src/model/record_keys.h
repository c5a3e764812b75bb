// The keys of the file formats: one table per record (model, part, spring,
// motion, track, keyframe, expression, parameter) naming each key a file may
// give, the kind of JSON value it takes and where it is stored. The loaders
// read a record by walking its table, and the lint checks a file against the
// same tables, so a key added to a table is read and known everywhere.
//
// The leniency is the same for every key: a key that is absent keeps the
// record's initial value, and so does one of the wrong kind, except where a
// kind below says otherwise.
//
// A key of numbers, an integer, a flag or a string is one entry naming its
// fields; any other shape (an array of records, an object of names) is one
// entry with a reader of its own. A new record is a table of its own, read
// by such a reader with ReadKeys, and checked by the lint with RulesOf.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_value.h"

namespace kivanime {

struct AnimeModel;

// What a key takes, and so how it is read.
enum class Want : uint8_t {
    Number,   // a number, narrowed to a float
    Integer,  // a number truncated toward zero to 32 bits
    String,
    Bool,  // true or false only
    Array,
    Object,
    Pair,        // an array of at least two numbers
    Quad,        // an array of at least four numbers
    Scale,       // a number for both axes, or an array of at least two numbers
    Present,     // present with any kind: a number, or else 0
    PresentInt,  // present with any kind: a number truncated to 32 bits, or else 0
};

// The fields of a record that one key fills: up to four floats in the order
// of the array's elements, or one integer, flag or string.
struct KeyFields {
    std::array<float*, 4> floats{};
    int32_t* integer = nullptr;
    bool* flag = nullptr;
    std::string* text = nullptr;
};

inline KeyFields FieldsOf(int32_t& value) {
    return {.integer = &value};
}
inline KeyFields FieldsOf(bool& value) {
    return {.flag = &value};
}
inline KeyFields FieldsOf(std::string& value) {
    return {.text = &value};
}
template <typename... More>
KeyFields FieldsOf(float& first, More&... more) {
    return {.floats = {&first, &more...}};
}

template <typename Record>
struct RecordKey {
    std::string_view name;
    Want want;
    // Where a number, integer, flag, string or array of numbers is stored.
    KeyFields (*fields)(Record&) = nullptr;
    // What holds when the key is absent or of the wrong kind, as the lint
    // says it: "{}" stands for the default, and empty means "{} applies".
    std::string_view absent = {};
    // Reads a key that fills more than fields: records of an array, names
    // resolved against the model.
    void (*read)(Record&, const JsonValue&, const AnimeModel&) = nullptr;
    // A string's default when it is not the record's initial value.
    std::string_view fallback = {};
    // An object whose own keys are read into this record (the canvas).
    std::span<const RecordKey> members = {};
    // Read after the model has resolved its part and texture names.
    bool late = false;
};

// What an element of a Pair, Quad or Scale that is not a number gives: the
// default of the first field, or 0 when that is unset (NaN).
float ElementDefault(float firstField);

// Reads a value of a fields key into its fields.
void ReadFields(Want want, const KeyFields& fields, const JsonValue& value);

template <typename Record>
const RecordKey<Record>* FindKey(std::span<const RecordKey<Record>> keys, std::string_view name) {
    // Files hold many records of few keys: compare the first byte before
    // the rest.
    for (const RecordKey<Record>& key : keys) {
        if (key.name.size() == name.size() && key.name[0] == name[0] && key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

// Reads the members of an object that the table knows (those marked `late`
// or the others) into the record; unknown keys are ignored. Strings with a
// fallback start from it, so that it applies when they are absent too.
template <typename Record>
void ReadKeys(std::span<const RecordKey<Record>> keys, const JsonValue& object, Record& record,
              const AnimeModel& model, bool late = false) {
    if (!late) {
        for (const RecordKey<Record>& key : keys) {
            if (!key.fallback.empty() && key.fields != nullptr) {
                *key.fields(record).text = key.fallback;
            }
        }
    }
    const JsonObject& members = object.members;
    for (size_t m = 0; m < members.size(); ++m) {
        const RecordKey<Record>* key = FindKey(keys, members.keyAt(m));
        if (key == nullptr || key->late != late) {
            continue;
        }
        const JsonValue& value = members.valueAt(m);
        if (key->read != nullptr) {
            key->read(record, value, model);
        } else if (!key->members.empty()) {
            ReadKeys(key->members, value, record, model);
        } else {
            ReadFields(key->want, key->fields(record), value);
        }
    }
}

// Appends one record per element of an array; anything else adds none.
template <typename T, typename ReadOne>
void ReadArray(std::vector<T>& out, const JsonValue& array, ReadOne readOne) {
    if (!array.isArray()) {
        return;
    }
    out.reserve(array.size());
    for (const JsonValue& element : array.elements) {
        out.push_back(readOne(element));
    }
}

}  // namespace kivanime
