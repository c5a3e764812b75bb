#include "api/utf16.h"

#include <cstdint>

namespace kivanime {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one code point at `i`; returns false for an ill-formed sequence and
// advances `i` past its maximal subpart.
bool DecodeOne(std::string_view s, size_t& i, uint32_t& cp) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    int need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0Fu;
        if (b0 == 0xE0) {
            lo = 0xA0;  // no overlong forms
        } else if (b0 == 0xED) {
            hi = 0x9F;  // no surrogates
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07u;
        if (b0 == 0xF0) {
            lo = 0x90;
        } else if (b0 == 0xF4) {
            hi = 0x8F;  // nothing beyond U+10FFFF
        }
    } else {
        ++i;  // stray continuation byte or a byte that never starts a sequence
        return false;
    }
    ++i;
    for (int k = 0; k < need; ++k) {
        if (i >= s.size()) {
            return false;
        }
        unsigned char b = byte(i);
        if (b < lo || b > hi) {
            return false;  // the offending byte starts the next sequence
        }
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3Fu);
        ++i;
    }
    return true;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        uint32_t cp = 0;
        if (!DecodeOne(utf8, i, cp)) {
            out.push_back(kReplacement);
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view utf8) {
    size_t i = 0;
    uint32_t cp = 0;
    while (i < utf8.size()) {
        if (!DecodeOne(utf8, i, cp)) {
            return false;
        }
    }
    return true;
}

}  // namespace kivanime
