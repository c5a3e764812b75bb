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

struct JsonObject::Member {
    explicit Member(std::string&& name) : key(std::move(name)) {}

    std::string key;
    JsonValue value;
};

JsonObject::JsonObject() = default;
JsonObject::JsonObject(const JsonObject& other) = default;
JsonObject::JsonObject(JsonObject&& other) noexcept = default;
JsonObject& JsonObject::operator=(const JsonObject& other) = default;
JsonObject& JsonObject::operator=(JsonObject&& other) noexcept = default;
JsonObject::~JsonObject() = default;

size_t JsonObject::size() const {
    return members_.size();
}
const std::string& JsonObject::keyAt(size_t i) const {
    return members_[i].key;
}
const JsonValue& JsonObject::valueAt(size_t i) const {
    return members_[i].value;
}
JsonValue& JsonObject::valueAt(size_t i) {
    return members_[i].value;
}

size_t JsonObject::indexOf(std::string_view key) const {
    if (index_.empty()) {
        for (size_t i = 0; i < members_.size(); ++i) {
            if (members_[i].key == key) {
                return i;
            }
        }
        return members_.size();
    }
    size_t mask = index_.size() - 1;
    for (size_t slot = HashKey(key) & mask;; slot = (slot + 1) & mask) {
        uint32_t entry = index_[slot];
        if (entry == 0) {
            return members_.size();
        }
        if (members_[entry - 1].key == key) {
            return entry - 1;
        }
    }
}

const JsonValue* JsonObject::find(std::string_view key) const {
    size_t i = indexOf(key);
    return i < members_.size() ? &members_[i].value : nullptr;
}

void JsonObject::rebuildIndex() {
    size_t capacity = 32;
    while (capacity < members_.size() * 2) {
        capacity *= 2;
    }
    index_.assign(capacity, 0);
    size_t mask = capacity - 1;
    for (size_t i = 0; i < members_.size(); ++i) {
        size_t slot = HashKey(members_[i].key) & mask;
        while (index_[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        index_[slot] = static_cast<uint32_t>(i + 1);
    }
}

JsonValue& JsonObject::slot(std::string&& key) {
    size_t i = indexOf(key);
    if (i < members_.size()) {
        members_[i].value = JsonValue{};
        return members_[i].value;
    }
    if (members_.size() == members_.capacity()) {
        members_.reserve(std::max<size_t>(kFirstCapacity, members_.capacity() * 2));
    }
    members_.emplace_back(std::move(key));
    if (members_.size() > kIndexThreshold) {
        if (members_.size() * 2 > index_.size()) {
            rebuildIndex();
        } else {
            size_t mask = index_.size() - 1;
            size_t slot = HashKey(members_.back().key) & mask;
            while (index_[slot] != 0) {
                slot = (slot + 1) & mask;
            }
            index_[slot] = static_cast<uint32_t>(members_.size());
        }
    }
    return members_.back().value;
}

void JsonObject::set(std::string&& key, JsonValue&& value) {
    slot(std::move(key)) = std::move(value);
}

void JsonObject::clear() {
    members_.clear();
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
