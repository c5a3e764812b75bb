// What the lenient reader skipped or repaired, and where every value came
// from. The library itself never asks for this: the reader builds exactly the
// same value with or without it. Authoring tools use it to tell people which
// parts of their file only load because the reader is forgiving.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kivanime {

struct JsonValue;

enum class JsonIssueKind : int32_t {
    ByteOrderMark,     // the text starts with a UTF-8 byte-order mark: it reads as Null
    EmptyDocument,     // no value at all: empty or whitespace only
    UnexpectedText,    // bytes that start no value where a value is expected: read as Null
    SkippedText,       // bytes where an object key is expected: skipped, no member read
    MissingValue,      // ',' ']' or '}' where a value is expected: read as Null
    PartialLiteral,    // t, f or n that does not start true, false or null
    MissingComma,      // two values or members with no comma between them
    MissingColon,      // an object key with no colon after it
    TrailingComma,     // a comma right before the closing bracket or brace
    Truncated,         // the text ends inside a string, array or object
    TrailingContent,   // bytes after the top-level value: ignored
    InvalidNumber,     // a number outside the JSON grammar (1. or 01 or a lone -)
    InvalidEscape,     // a backslash escape that JSON does not define, or a bad \u
    ControlCharacter,  // a raw byte below 32 inside a string
    DuplicateKey,      // a key that occurs again in the same object: the later value wins
    TooDeep,           // nesting beyond the reader's limit: read as Null
};

struct JsonIssue {
    JsonIssueKind kind = JsonIssueKind::UnexpectedText;
    size_t offset = 0;  // byte offset in the text
    size_t length = 0;  // bytes concerned; 0 for a place between bytes
};

inline constexpr size_t kNoJsonKey = std::numeric_limits<size_t>::max();

// Where one value sits in the text. The tree mirrors the parsed value:
// `children` holds the elements of an array, or the members of an object in
// the object's member order, each with the position of its key.
struct JsonSourceNode {
    size_t offset = 0;              // first byte of the value, or where it was expected
    size_t keyOffset = kNoJsonKey;  // for an object member: the key's opening quote
    std::vector<JsonSourceNode> children;
};

struct JsonDiagnostics {
    std::vector<JsonIssue> issues;  // in the order met, which is text order but for Truncated
    JsonSourceNode root;
};

// Finds the source node of any value inside a parsed document. Build it once
// the document sits where it will stay: it is keyed by the values' addresses.
class JsonSourceMap {
public:
    JsonSourceMap() = default;
    JsonSourceMap(const JsonValue& root, const JsonSourceNode& rootNode);

    // The node of `value`, or null for a value outside the document.
    const JsonSourceNode* find(const JsonValue& value) const;

private:
    void add(const JsonValue& value, const JsonSourceNode& node);

    std::unordered_map<const JsonValue*, const JsonSourceNode*> nodes_;
};

// Line and column, both counted from 1, of a byte offset. Lines end at line
// feeds; columns count characters (UTF-8 sequences), a tab counting as one.
struct JsonTextPosition {
    size_t line = 1;
    size_t column = 1;
};
JsonTextPosition TextPositionOf(std::string_view text, size_t offset);

}  // namespace kivanime
