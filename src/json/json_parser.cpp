#include "json/json_parser.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "json/number_text.h"
#include "text/utf.h"

namespace kivanime {

namespace {

// Byte classes, looked up rather than compared: whitespace is about a third
// of a file laid out one value a line, and the reader passes over it often.
enum ByteClass : uint8_t { kSpace = 1, kStringEnd = 2 };

constexpr std::array<uint8_t, 256> kByteClass = [] {
    std::array<uint8_t, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\r'}) {
        table[c] = kSpace;
    }
    table['"'] = kStringEnd;
    table['\\'] = kStringEnd;
    return table;
}();

bool IsSpace(char c) {
    return kByteClass[static_cast<unsigned char>(c)] == kSpace;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 0;  // not a hex digit: counts as 0
}

class Parser {
public:
    explicit Parser(std::string_view text, JsonDiagnostics* diagnostics = nullptr)
        : text_(text), diag_(diagnostics) {}

    JsonValue parseRoot() {
        JsonValue value;
        if (diag_) {
            node_ = &diag_->root;
            noteDocumentStart();
        }
        parseValue(value, 0);
        if (diag_) {
            noteDocumentEnd();
        }
        return value;
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void skipSpace() { pos_ = nextNonSpace(pos_); }

    bool matches(std::string_view word) const { return text_.substr(pos_, word.size()) == word; }

    // Diagnostics. Everything below is reached only when diag_ is set; none
    // of it moves the position or touches the value being built.

    void note(JsonIssueKind kind, size_t offset, size_t length = 0) {
        std::vector<JsonIssue>& issues = diag_->issues;
        if (!issues.empty()) {
            JsonIssue& last = issues.back();
            // Bytes already reported are not reported again (a partial literal
            // that an array then skips byte by byte), the same place is
            // reported once (every open level of a truncated text), and a run
            // of skipped bytes with only whitespace between is one issue.
            if (offset >= last.offset && offset < last.offset + last.length) {
                return;
            }
            if (last.kind == kind && last.offset == offset && length == 0 && last.length == 0) {
                return;
            }
            if (last.kind == kind && length > 0 && last.length > 0 &&
                onlySpaceBetween(last.offset + last.length, offset)) {
                last.length = offset + length - last.offset;
                return;
            }
        }
        issues.push_back(JsonIssue{kind, offset, length});
    }

    bool onlySpaceBetween(size_t from, size_t to) const {
        if (from > to) {
            return false;
        }
        for (size_t p = from; p < to; ++p) {
            if (!IsSpace(text_[p])) {
                return false;
            }
        }
        return true;
    }

    size_t nextNonSpace(size_t from) const {
        const char* p = text_.data() + from;
        const char* end = text_.data() + text_.size();
        while (p < end && IsSpace(*p)) {
            ++p;
        }
        return static_cast<size_t>(p - text_.data());
    }

    // Bytes from `from` up to whitespace or JSON punctuation; at least one.
    size_t runLength(size_t from) const {
        static constexpr std::string_view kStops = "{}[],:\"";
        size_t p = from;
        while (p < text_.size() && !IsSpace(text_[p]) && kStops.find(text_[p]) == kStops.npos) {
            ++p;
        }
        return std::max<size_t>(p - from, 1);
    }

    static bool StartsValue(char c) {
        return c == '"' || c == '{' || c == '[' || c == 't' || c == 'f' || c == 'n' || c == '-' ||
               (c >= '0' && c <= '9');
    }

    void noteDocumentStart() {
        if (matches("\xEF\xBB\xBF")) {
            note(JsonIssueKind::ByteOrderMark, 0, 3);
        }
        if (nextNonSpace(0) >= text_.size()) {
            note(JsonIssueKind::EmptyDocument, text_.size());
        }
    }

    void noteDocumentEnd() {
        size_t rest = nextNonSpace(pos_);
        if (rest < text_.size()) {
            note(JsonIssueKind::TrailingContent, rest, text_.size() - rest);
        }
    }

    // A byte that starts no value where a value is expected.
    void noteNoValue(char c) {
        if (c == ',' || c == ']' || c == '}') {
            note(JsonIssueKind::MissingValue, pos_);
        } else {
            note(JsonIssueKind::UnexpectedText, pos_, runLength(pos_));
        }
    }

    // After a comma at `comma`: a closing bracket right after it.
    void noteComma(size_t comma, char close) {
        size_t next = nextNonSpace(pos_);
        if (next < text_.size() && text_[next] == close) {
            note(JsonIssueKind::TrailingComma, comma, 1);
        }
    }

    // After an element or member with no comma: another one right after it.
    void noteNoComma(bool object) {
        if (!atEnd() && (object ? peek() == '"' : StartsValue(peek()))) {
            note(JsonIssueKind::MissingComma, pos_);
        }
    }

    // The source node for the member `key` whose value starts now; a key met
    // again takes over the node of its first occurrence, as its value does.
    JsonSourceNode* memberNode(const JsonValue& object, JsonSourceNode* parent,
                               const std::string& key, size_t keyStart, size_t keyEnd) {
        JsonSourceNode fresh;
        fresh.offset = pos_;
        fresh.keyOffset = keyStart;
        const size_t index = object.members.indexOf(key);
        if (index < object.members.size()) {
            note(JsonIssueKind::DuplicateKey, keyStart, keyEnd - keyStart);
            parent->children[index] = std::move(fresh);
            return &parent->children[index];
        }
        parent->children.push_back(std::move(fresh));
        return &parent->children.back();
    }

    void noteNumber(size_t start, size_t end) {
        size_t consumed = 0;
        ConvertNumberText(text_.data() + start, text_.data() + text_.size(), &consumed);
        // The strict grammar: -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
        size_t p = start;
        auto digits = [&] {
            size_t from = p;
            while (p < end && text_[p] >= '0' && text_[p] <= '9') {
                ++p;
            }
            return p - from;
        };
        bool strict = true;
        if (p < end && text_[p] == '-') {
            ++p;
        }
        size_t first = p;
        size_t whole = digits();
        strict = whole > 0 && !(whole > 1 && text_[first] == '0');
        if (p < end && text_[p] == '.') {
            ++p;
            strict = digits() > 0 && strict;
        }
        if (p < end && (text_[p] == 'e' || text_[p] == 'E')) {
            ++p;
            if (p < end && (text_[p] == '+' || text_[p] == '-')) {
                ++p;
            }
            strict = digits() > 0 && strict;
        }
        if (!strict || consumed != end - start) {
            note(JsonIssueKind::InvalidNumber, start,
                 std::max(std::max(consumed, end - start), size_t{1}));
        }
    }

    void noteControlBytes(size_t from, size_t to) {
        for (size_t p = from; p < to; ++p) {
            if (static_cast<unsigned char>(text_[p]) < 0x20) {
                note(JsonIssueKind::ControlCharacter, p, 1);
            }
        }
    }

    // `at` is the first of the four bytes after a backslash and u.
    void noteUnicodeEscape(size_t at) {
        for (size_t i = 0; i < 4; ++i) {
            char c = text_[at + i];
            bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            if (!hex) {
                note(JsonIssueKind::InvalidEscape, at - 2, 6);
                return;
            }
        }
    }

    // Fills `out` (a fresh Null) with the value at the position.
    void parseValue(JsonValue& out, int depth) {
        skipSpace();
        if (atEnd()) {
            return;
        }
        if (diag_) {
            node_->offset = pos_;
        }
        char c = peek();
        switch (c) {
            case '"':
                out.type = JsonType::String;
                parseString(out.text);
                return;
            case '{':
                if (depth >= kJsonMaxDepth) {
                    if (diag_) {
                        note(JsonIssueKind::TooDeep, pos_, 1);
                    }
                    skipNested();
                    return;
                }
                parseObject(out, depth + 1);
                return;
            case '[':
                if (depth >= kJsonMaxDepth) {
                    if (diag_) {
                        note(JsonIssueKind::TooDeep, pos_, 1);
                    }
                    skipNested();
                    return;
                }
                parseArray(out, depth + 1);
                return;
            case 't':
            case 'f':
                out.type = JsonType::Bool;
                if (matches("true")) {
                    out.boolValue = true;
                    pos_ += 4;
                } else if (matches("false")) {
                    pos_ += 5;
                } else if (diag_) {
                    note(JsonIssueKind::PartialLiteral, pos_, runLength(pos_));
                }
                return;
            case 'n':
                if (matches("null")) {
                    pos_ += 4;
                } else if (diag_) {
                    note(JsonIssueKind::PartialLiteral, pos_, runLength(pos_));
                }
                return;
            default:
                if (c == '-' || (c >= '0' && c <= '9')) {
                    parseNumber(out);
                } else if (diag_) {
                    noteNoValue(c);
                }
                return;
        }
    }

    void parseNumber(JsonValue& out) {
        size_t start = pos_;
        out.type = JsonType::Number;
        out.number = ConvertNumberText(text_.data() + start, text_.data() + text_.size());
        // The position follows the JSON number grammar, loosely, whatever the
        // conversion consumed.
        size_t p = pos_;
        size_t n = text_.size();
        auto digits = [&] {
            while (p < n && text_[p] >= '0' && text_[p] <= '9') {
                ++p;
            }
        };
        if (p < n && text_[p] == '-') {
            ++p;
        }
        digits();
        if (p < n && text_[p] == '.') {
            ++p;
            digits();
        }
        if (p < n && (text_[p] == 'e' || text_[p] == 'E')) {
            ++p;
            if (p < n && (text_[p] == '+' || text_[p] == '-')) {
                ++p;
            }
            digits();
        }
        if (diag_) {
            noteNumber(start, p);
        }
        pos_ = p;
    }

    void parseString(std::string& out) {
        ++pos_;  // opening quote
        size_t n = text_.size();
        while (pos_ < n) {
            // Copy the plain run up to the next quote or backslash at once.
            const char* p = text_.data() + pos_;
            const char* end = text_.data() + n;
            while (p < end && kByteClass[static_cast<unsigned char>(*p)] != kStringEnd) {
                ++p;
            }
            size_t run = static_cast<size_t>(p - text_.data());
            if (diag_) {
                noteControlBytes(pos_, run);
            }
            out.append(text_.data() + pos_, run - pos_);
            pos_ = run;
            if (pos_ >= n) {
                if (diag_) {
                    note(JsonIssueKind::Truncated, n);
                }
                return;  // unterminated: keep what was collected
            }
            if (text_[pos_] == '"') {
                ++pos_;
                return;
            }
            // A backslash.
            if (pos_ + 1 >= n) {
                out.push_back('\\');  // last byte of the text
                ++pos_;
                if (diag_) {
                    note(JsonIssueKind::Truncated, n);
                }
                return;
            }
            char e = text_[pos_ + 1];
            pos_ += 2;
            switch (e) {
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u':
                    if (n - pos_ >= 4) {
                        if (diag_) {
                            noteUnicodeEscape(pos_);
                        }
                        uint32_t unit = 0;
                        for (int i = 0; i < 4; ++i) {
                            unit = unit * 16 + static_cast<uint32_t>(HexValue(text_[pos_ + i]));
                        }
                        // Surrogate halves are not paired; each is encoded on its own.
                        AppendUtf8(out, unit);
                        pos_ += 4;
                    }
                    // Fewer than four bytes left: the escape is dropped and
                    // collection goes on after the 'u'.
                    break;
                default:
                    out.push_back(e);  // \" \/ \\ and any other byte: the byte itself
                    if (diag_ && e != '"' && e != '/' && e != '\\') {
                        note(JsonIssueKind::InvalidEscape, pos_ - 2, 2);
                    }
                    break;
            }
        }
    }

    void parseArray(JsonValue& out, int depth) {
        out.type = JsonType::Array;
        ++pos_;
        skipSpace();
        JsonSourceNode* node = node_;
        while (!atEnd()) {
            if (peek() == ']') {
                ++pos_;
                return;
            }
            size_t mark = pos_;
            if (out.elements.empty()) {
                out.elements.reserve(4);  // skip the growth steps of short arrays
            }
            out.elements.emplace_back();
            if (diag_) {
                node->children.emplace_back();
                node_ = &node->children.back();
                node_->offset = pos_;
            }
            parseValue(out.elements.back(), depth);
            node_ = node;
            skipSpace();
            if (!atEnd() && peek() == ',') {
                ++pos_;
                if (diag_) {
                    noteComma(pos_ - 1, ']');
                }
            } else if (diag_ && pos_ != mark) {
                noteNoComma(false);
            }
            skipSpace();
            if (pos_ == mark) {
                ++pos_;
            }
        }
        if (diag_) {
            note(JsonIssueKind::Truncated, pos_);
        }
    }

    void parseObject(JsonValue& out, int depth) {
        out.type = JsonType::Object;
        ++pos_;
        skipSpace();
        JsonSourceNode* node = node_;
        while (!atEnd()) {
            if (peek() == '}') {
                ++pos_;
                return;
            }
            size_t mark = pos_;
            skipSpace();
            if (!atEnd() && peek() == '"') {
                size_t keyStart = pos_;
                std::string key;
                parseString(key);
                size_t keyEnd = pos_;
                skipSpace();
                if (!atEnd() && peek() == ':') {
                    ++pos_;
                } else if (diag_) {
                    note(JsonIssueKind::MissingColon, pos_);
                }
                if (diag_) {
                    node_ = memberNode(out, node, key, keyStart, keyEnd);
                }
                // Built where it stays; the object is not touched meanwhile.
                parseValue(out.members.slot(std::move(key)), depth);
                node_ = node;
            } else if (diag_ && !atEnd() && peek() != '}') {
                // A brace after whitespace closes the object on the next turn.
                note(JsonIssueKind::SkippedText, pos_, runLength(pos_));
            }
            skipSpace();
            if (!atEnd() && peek() == ',') {
                ++pos_;
                if (diag_) {
                    noteComma(pos_ - 1, '}');
                }
            } else if (diag_) {
                noteNoComma(true);
            }
            if (pos_ == mark) {
                ++pos_;
            }
        }
        if (diag_) {
            note(JsonIssueKind::Truncated, pos_);
        }
    }

    // Passes over an array or object that is nested too deeply, without
    // recursion: brackets are counted, strings (with their escapes) skipped.
    void skipNested() {
        size_t n = text_.size();
        uint64_t open = 0;
        while (pos_ < n) {
            char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                while (pos_ < n && text_[pos_] != '"') {
                    pos_ += (text_[pos_] == '\\') ? 2 : 1;
                }
                if (pos_ < n) {
                    ++pos_;
                } else {
                    pos_ = n;
                }
                continue;
            }
            ++pos_;
            if (c == '[' || c == '{') {
                ++open;
            } else if (c == ']' || c == '}') {
                if (--open == 0) {
                    return;
                }
            }
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    JsonDiagnostics* diag_ = nullptr;
    JsonSourceNode* node_ = nullptr;  // where the next value's position goes
};

}  // namespace

JsonValue ParseJson(std::string_view text) {
    return Parser(text).parseRoot();
}

JsonValue ParseJson(std::string_view text, JsonDiagnostics* diagnostics) {
    if (diagnostics != nullptr) {
        *diagnostics = JsonDiagnostics{};
    }
    return Parser(text, diagnostics).parseRoot();
}

}  // namespace kivanime
