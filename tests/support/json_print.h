// A JSON value printed compactly, for comparing what the reader built: members
// in their stored order, numbers in their shortest round-trip form (so equal
// text means equal bits), string bytes outside printable ASCII as \xNN.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

#include "json/json_value.h"

namespace kivanime::test {

inline void PrintJsonString(std::string_view s, std::string& out) {
    static const char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (unsigned char c : s) {
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
            out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
}

inline void PrintJson(const JsonValue& v, std::string& out) {
    if (v.isArray() || v.isObject()) {
        const bool array = v.isArray();
        out.push_back(array ? '[' : '{');
        for (size_t i = 0; i < v.size(); ++i) {
            out += i > 0 ? "," : "";
            if (!array) {
                PrintJsonString(v.members.keyAt(i), out);
                out.push_back(':');
            }
            PrintJson(array ? v.elements[i] : v.members.valueAt(i), out);
        }
        out.push_back(array ? ']' : '}');
    } else if (v.type == JsonType::Number) {
        char buffer[64];
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v.number).ptr);
    } else if (v.type == JsonType::String) {
        PrintJsonString(v.text, out);
    } else {
        out += v.type == JsonType::Null ? "null" : v.boolValue ? "true" : "false";
    }
}

inline std::string JsonText(const JsonValue& v) {
    std::string out;
    PrintJson(v, out);
    return out;
}

}  // namespace kivanime::test
