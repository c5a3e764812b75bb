#include "json/json_parser.h"

#include <cstdint>
#include <utility>

#include "json/number_text.h"

namespace kivanime {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
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

void AppendUtf8(std::string& out, uint32_t unit) {
    if (unit < 0x80) {
        out.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
        out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
        // Surrogate halves are not paired; each is encoded on its own.
        out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
        out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    JsonValue parseRoot() {
        JsonValue value;
        parseValue(value, 0);
        return value;
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void skipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) {
            ++pos_;
        }
    }

    bool matches(std::string_view word) const { return text_.substr(pos_, word.size()) == word; }

    // Fills `out` (a fresh Null) with the value at the position.
    void parseValue(JsonValue& out, int depth) {
        skipSpace();
        if (atEnd()) {
            return;
        }
        char c = peek();
        switch (c) {
            case '"':
                out.type = JsonType::String;
                parseString(out.text);
                return;
            case '{':
                if (depth >= kJsonMaxDepth) {
                    skipNested();
                    return;
                }
                parseObject(out, depth + 1);
                return;
            case '[':
                if (depth >= kJsonMaxDepth) {
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
                }
                return;
            case 'n':
                if (matches("null")) {
                    pos_ += 4;
                }
                return;
            default:
                if (c == '-' || (c >= '0' && c <= '9')) {
                    parseNumber(out);
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
        pos_ = p;
    }

    void parseString(std::string& out) {
        ++pos_;  // opening quote
        size_t n = text_.size();
        while (pos_ < n) {
            // Copy the plain run up to the next quote or backslash at once.
            size_t run = pos_;
            while (run < n && text_[run] != '"' && text_[run] != '\\') {
                ++run;
            }
            out.append(text_.data() + pos_, run - pos_);
            pos_ = run;
            if (pos_ >= n) {
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
                        uint32_t unit = 0;
                        for (int i = 0; i < 4; ++i) {
                            unit = unit * 16 + static_cast<uint32_t>(HexValue(text_[pos_ + i]));
                        }
                        AppendUtf8(out, unit);
                        pos_ += 4;
                    }
                    // Fewer than four bytes left: the escape is dropped and
                    // collection goes on after the 'u'.
                    break;
                default:
                    out.push_back(e);  // \" \/ \\ and any other byte: the byte itself
                    break;
            }
        }
    }

    void parseArray(JsonValue& out, int depth) {
        out.type = JsonType::Array;
        ++pos_;
        skipSpace();
        while (!atEnd()) {
            if (peek() == ']') {
                ++pos_;
                return;
            }
            size_t mark = pos_;
            out.elements.emplace_back();
            parseValue(out.elements.back(), depth);
            skipSpace();
            if (!atEnd() && peek() == ',') {
                ++pos_;
            }
            skipSpace();
            if (pos_ == mark) {
                ++pos_;
            }
        }
    }

    void parseObject(JsonValue& out, int depth) {
        out.type = JsonType::Object;
        ++pos_;
        skipSpace();
        while (!atEnd()) {
            if (peek() == '}') {
                ++pos_;
                return;
            }
            size_t mark = pos_;
            skipSpace();
            if (!atEnd() && peek() == '"') {
                std::string key;
                parseString(key);
                skipSpace();
                if (!atEnd() && peek() == ':') {
                    ++pos_;
                }
                JsonValue value;
                parseValue(value, depth);
                out.members.set(std::move(key), std::move(value));
            }
            skipSpace();
            if (!atEnd() && peek() == ',') {
                ++pos_;
            }
            if (pos_ == mark) {
                ++pos_;
            }
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
};

}  // namespace

JsonValue ParseJson(std::string_view text) {
    return Parser(text).parseRoot();
}

}  // namespace kivanime
