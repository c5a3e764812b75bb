// The web helpers answer JavaScript in JSON text, which the page reads with
// JSON.parse: these write its pieces. Each helper keeps its answer until its
// next call, so the page reads it once, straight after the call.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kivanime_web {

inline void AppendString(std::string& out, std::string_view text) {
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    out += '"';
}

// A float in nine digits, which read back as the same float.
inline void AppendNumber(std::string& out, float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    out += text;
}

// `"key":` after a comma, unless the object or array has just begun.
inline void AppendKey(std::string& out, std::string_view key) {
    if (out.back() != '{' && out.back() != '[') {
        out += ',';
    }
    AppendString(out, key);
    out += ':';
}

// An array of strings or numbers.
template <typename List, typename Append>
void AppendList(std::string& out, const List& list, Append append) {
    out += '[';
    for (const auto& item : list) {
        out += out.back() == '[' ? "" : ",";
        append(out, item);
    }
    out += ']';
}

}  // namespace kivanime_web
