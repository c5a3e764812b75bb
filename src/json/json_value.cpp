#include "json/json_value.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kivanime {

namespace {

constexpr size_t kIndexThreshold = 12;
// Most objects in the formats have a handful of members: start with room for
// them rather than growing one, two, four.
constexpr size_t kFirstCapacity = 8;

uint64_t HashKey(std::string_view key) {
    // FNV-1a: keys are short and the index only needs to spread them.
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : key) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

JsonObject::JsonObject() = default;
JsonObject::JsonObject(const JsonObject& other) = default;
JsonObject::JsonObject(JsonObject&& other) noexcept = default;
JsonObject& JsonObject::operator=(const JsonObject& other) = default;
JsonObject& JsonObject::operator=(JsonObject&& other) noexcept = default;
JsonObject::~JsonObject() = default;

const JsonValue& JsonObject::valueAt(size_t i) const {
    return values_[i];
}
JsonValue& JsonObject::valueAt(size_t i) {
    return values_[i];
}

size_t JsonObject::findIndex(std::string_view key) const {
    if (index_.empty()) {
        for (size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i] == key) {
                return i;
            }
        }
        return keys_.size();
    }
    size_t mask = index_.size() - 1;
    for (size_t slot = HashKey(key) & mask;; slot = (slot + 1) & mask) {
        uint32_t entry = index_[slot];
        if (entry == 0) {
            return keys_.size();
        }
        if (keys_[entry - 1] == key) {
            return entry - 1;
        }
    }
}

const JsonValue* JsonObject::find(std::string_view key) const {
    size_t i = findIndex(key);
    return i < keys_.size() ? &values_[i] : nullptr;
}

void JsonObject::rebuildIndex() {
    size_t capacity = 32;
    while (capacity < keys_.size() * 2) {
        capacity *= 2;
    }
    index_.assign(capacity, 0);
    size_t mask = capacity - 1;
    for (size_t i = 0; i < keys_.size(); ++i) {
        size_t slot = HashKey(keys_[i]) & mask;
        while (index_[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        index_[slot] = static_cast<uint32_t>(i + 1);
    }
}

void JsonObject::set(std::string&& key, JsonValue&& value) {
    size_t i = findIndex(key);
    if (i < keys_.size()) {
        values_[i] = std::move(value);
        return;
    }
    // Room for both first, so that a failed allocation leaves the two lists
    // in step; grown geometrically, since an exact reserve would copy every
    // member on every insertion.
    size_t needed = keys_.size() + 1;
    if (needed > keys_.capacity()) {
        keys_.reserve(std::max<size_t>(kFirstCapacity, keys_.capacity() * 2));
    }
    if (needed > values_.capacity()) {
        values_.reserve(std::max<size_t>(kFirstCapacity, values_.capacity() * 2));
    }
    keys_.push_back(std::move(key));
    values_.push_back(std::move(value));
    if (keys_.size() > kIndexThreshold) {
        if (keys_.size() * 2 > index_.size()) {
            rebuildIndex();
        } else {
            size_t mask = index_.size() - 1;
            size_t slot = HashKey(keys_.back()) & mask;
            while (index_[slot] != 0) {
                slot = (slot + 1) & mask;
            }
            index_[slot] = static_cast<uint32_t>(keys_.size());
        }
    }
}

void JsonObject::clear() {
    keys_.clear();
    values_.clear();
    index_.clear();
}

const JsonValue& JsonNull() {
    // A function-local static: created once, thread-safely, on first use,
    // and never modified afterwards.
    static const JsonValue null_value;
    return null_value;
}

const JsonValue& JsonValue::get(std::string_view key) const {
    if (type != JsonType::Object) {
        return JsonNull();
    }
    const JsonValue* found = members.find(key);
    return found ? *found : JsonNull();
}

const JsonValue& JsonValue::at(uint64_t index) const {
    if (type != JsonType::Array || index >= elements.size()) {
        return JsonNull();
    }
    return elements[static_cast<size_t>(index)];
}

size_t JsonValue::size() const {
    if (type == JsonType::Array) {
        return elements.size();
    }
    if (type == JsonType::Object) {
        return members.size();
    }
    return 0;
}

bool JsonValue::has(std::string_view key) const {
    return type == JsonType::Object && members.find(key) != nullptr;
}

int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) {
        return std::numeric_limits<int32_t>::min();
    }
    double t = std::trunc(value);
    if (t < -2147483648.0 || t > 2147483647.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(t);
}

int32_t JsonValue::asInt(int32_t fallback) const {
    return type == JsonType::Number ? TruncateToInt32(number) : fallback;
}

float JsonValue::asFloat(float fallback) const {
    return type == JsonType::Number ? static_cast<float>(number) : fallback;
}

bool JsonValue::asBool(bool fallback) const {
    return type == JsonType::Bool ? boolValue : fallback;
}

const std::string& JsonValue::asString(const std::string& fallback) const {
    return type == JsonType::String ? text : fallback;
}

std::string_view JsonValue::asStringView(std::string_view fallback) const {
    return type == JsonType::String ? std::string_view(text) : fallback;
}

const char* DescribeJsonKind(const JsonValue& value) {
    switch (value.type) {
        case JsonType::Null:
            return "null";
        case JsonType::Bool:
            return value.boolValue ? "true" : "false";
        case JsonType::Number:
            return "a number";
        case JsonType::String:
            return "a string";
        case JsonType::Array:
            return "an array";
        case JsonType::Object:
            return "an object";
    }
    return "null";
}

}  // namespace kivanime
