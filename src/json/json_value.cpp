#include "json/json_value.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kivanime {

namespace {

constexpr size_t kIndexThreshold = 12;
// Most objects in the formats have a handful of members: start with room for
// them rather than growing one, two, four; then grow by half, so that a
// part's dozen members fill what they take.
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

struct JsonObject::Storage {
    std::vector<Member> members;
    std::vector<uint32_t> index;  // open addressing, entries are position + 1; empty when small
};

JsonObject::JsonObject() = default;
JsonObject::JsonObject(const JsonObject& other)
    : storage_(other.storage_ ? std::make_unique<Storage>(*other.storage_) : nullptr) {}
JsonObject::JsonObject(JsonObject&& other) noexcept = default;
JsonObject& JsonObject::operator=(const JsonObject& other) {
    if (this != &other) {
        JsonObject copy(other);
        storage_ = std::move(copy.storage_);
    }
    return *this;
}
JsonObject& JsonObject::operator=(JsonObject&& other) noexcept = default;
JsonObject::~JsonObject() = default;

size_t JsonObject::size() const {
    return storage_ ? storage_->members.size() : 0;
}
const std::string& JsonObject::keyAt(size_t i) const {
    return storage_->members[i].key;
}
const JsonValue& JsonObject::valueAt(size_t i) const {
    return storage_->members[i].value;
}
JsonValue& JsonObject::valueAt(size_t i) {
    return storage_->members[i].value;
}

size_t JsonObject::indexOf(std::string_view key) const {
    if (!storage_) {
        return 0;
    }
    const std::vector<Member>& members = storage_->members;
    const std::vector<uint32_t>& index = storage_->index;
    if (index.empty()) {
        for (size_t i = 0; i < members.size(); ++i) {
            if (members[i].key == key) {
                return i;
            }
        }
        return members.size();
    }
    size_t mask = index.size() - 1;
    for (size_t slot = HashKey(key) & mask;; slot = (slot + 1) & mask) {
        uint32_t entry = index[slot];
        if (entry == 0) {
            return members.size();
        }
        if (members[entry - 1].key == key) {
            return entry - 1;
        }
    }
}

const JsonValue* JsonObject::find(std::string_view key) const {
    size_t i = indexOf(key);
    return i < size() ? &storage_->members[i].value : nullptr;
}

void JsonObject::rebuildIndex() {
    const std::vector<Member>& members = storage_->members;
    std::vector<uint32_t>& index = storage_->index;
    size_t capacity = 32;
    while (capacity < members.size() * 2) {
        capacity *= 2;
    }
    index.assign(capacity, 0);
    size_t mask = capacity - 1;
    for (size_t i = 0; i < members.size(); ++i) {
        size_t slot = HashKey(members[i].key) & mask;
        while (index[slot] != 0) {
            slot = (slot + 1) & mask;
        }
        index[slot] = static_cast<uint32_t>(i + 1);
    }
}

JsonValue& JsonObject::slot(std::string&& key) {
    size_t i = indexOf(key);
    if (i < size()) {
        storage_->members[i].value = JsonValue{};
        return storage_->members[i].value;
    }
    if (!storage_) {
        storage_ = std::make_unique<Storage>();
    }
    std::vector<Member>& members = storage_->members;
    std::vector<uint32_t>& index = storage_->index;
    if (members.size() == members.capacity()) {
        members.reserve(std::max<size_t>(kFirstCapacity, members.capacity() * 3 / 2));
    }
    members.emplace_back(std::move(key));
    if (members.size() > kIndexThreshold) {
        if (members.size() * 2 > index.size()) {
            rebuildIndex();
        } else {
            size_t mask = index.size() - 1;
            size_t slot = HashKey(members.back().key) & mask;
            while (index[slot] != 0) {
                slot = (slot + 1) & mask;
            }
            index[slot] = static_cast<uint32_t>(members.size());
        }
    }
    return members.back().value;
}

void JsonObject::clear() {
    storage_.reset();
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
