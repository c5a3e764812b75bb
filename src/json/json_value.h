// The library's JSON document: a plain record whose fields are all present
// whatever the kind, with typed reads that never convert between kinds and
// never fail (a missing member or a wrong kind gives the caller's default).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kivanime {

enum class JsonType : int32_t { Null = 0, Bool = 1, Number = 2, String = 3, Array = 4, Object = 5 };

struct JsonValue;

// Members of a JSON object: unique keys, a later duplicate replacing the
// value of the earlier one. Iteration follows the order in which keys first
// appeared in the text. Large objects keep a hash index so that lookups stay
// cheap; small ones are scanned.
class JsonObject {
public:
    JsonObject();
    JsonObject(const JsonObject& other);
    JsonObject(JsonObject&& other) noexcept;
    JsonObject& operator=(const JsonObject& other);
    JsonObject& operator=(JsonObject&& other) noexcept;
    ~JsonObject();

    size_t size() const;
    bool empty() const { return size() == 0; }
    const std::string& keyAt(size_t i) const;
    const JsonValue& valueAt(size_t i) const;
    JsonValue& valueAt(size_t i);

    // Pointer to the member's value, or null when the key is absent.
    const JsonValue* find(std::string_view key) const;
    // Position of the member, or size() when the key is absent.
    size_t indexOf(std::string_view key) const;
    // The value stored under the key, made Null: a new member after the
    // others, or the earlier member's value, so that a reader can build the
    // value where it stays.
    JsonValue& slot(std::string&& key);
    void clear();

private:
    struct Member;
    struct Storage;
    void rebuildIndex();

    // Keys and values side by side, behind one pointer: a document holds far
    // more numbers and strings than objects, and every value has this field.
    std::unique_ptr<Storage> storage_;
};

struct JsonValue {
    JsonType type = JsonType::Null;
    bool boolValue = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> elements;
    JsonObject members;

    bool isNull() const { return type == JsonType::Null; }
    bool isBool() const { return type == JsonType::Bool; }
    bool isNumber() const { return type == JsonType::Number; }
    bool isString() const { return type == JsonType::String; }
    bool isArray() const { return type == JsonType::Array; }
    bool isObject() const { return type == JsonType::Object; }

    // The member's value for an object that has the key, else JsonNull().
    const JsonValue& get(std::string_view key) const;
    // The element for an array with index < size, else JsonNull().
    const JsonValue& at(uint64_t index) const;
    // Elements of an array, members of an object, 0 otherwise.
    size_t size() const;
    // True for an object that has the key, whatever the member's kind.
    bool has(std::string_view key) const;

    // A number truncated toward zero; INT32_MIN for NaN or out of range.
    int32_t asInt(int32_t fallback) const;
    // A number rounded to the nearest float.
    float asFloat(float fallback) const;
    bool asBool(bool fallback) const;
    const std::string& asString(const std::string& fallback) const;
    std::string_view asStringView(std::string_view fallback) const;
};

// The shared, immutable null value that every failed lookup returns.
const JsonValue& JsonNull();

// What a value is, as a person reads it in a message: "null", "true", "false",
// "a number", "a string", "an array" or "an object".
const char* DescribeJsonKind(const JsonValue& value);

// Truncates a double toward zero to a signed 32-bit integer, giving INT32_MIN
// for NaN and for values whose truncation does not fit.
int32_t TruncateToInt32(double value);

}  // namespace kivanime
