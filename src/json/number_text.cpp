#include "json/number_text.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

namespace kivanime {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(const char* p, const char* end, const char* word) {
    size_t n = std::strlen(word);
    if (static_cast<size_t>(end - p) < n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (Lower(p[i]) != word[i]) {
            return false;
        }
    }
    return true;
}

// `marker` points at an exponent letter. Returns the end of the exponent when
// digits follow (with an optional sign), else `marker` itself: the letter is
// then not part of the number.
const char* SkipExponent(const char* marker, const char* end) {
    const char* e = marker + 1;
    if (e < end && (*e == '+' || *e == '-')) {
        ++e;
    }
    if (e >= end || !IsDigit(*e)) {
        return marker;
    }
    while (e < end && IsDigit(*e)) {
        ++e;
    }
    return e;
}

// The value of a NaN written as nan(chars): the chars, read as an unsigned
// integer in the usual C bases, become the payload when they are all used.
double NanWithPayload(const char* p, const char* close) {
    double nan = std::numeric_limits<double>::quiet_NaN();
    if (p == close) {
        return nan;
    }
    uint64_t payload = 0;
    int base = 10;
    const char* q = p;
    if (*q == '0') {
        base = 8;
        ++q;
        if (q < close && Lower(*q) == 'x' && q + 1 < close && IsHexDigit(q[1])) {
            base = 16;
            ++q;
        }
    }
    bool overflow = false;
    for (; q < close; ++q) {
        int digit;
        char c = Lower(*q);
        if (IsDigit(c)) {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'z') {
            digit = c - 'a' + 10;
        } else {
            return nan;
        }
        if (digit >= base) {
            return nan;
        }
        if (payload > (std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(digit)) /
                          static_cast<uint64_t>(base)) {
            overflow = true;
        }
        payload = payload * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    if (overflow) {
        payload = std::numeric_limits<uint64_t>::max();
    }
    uint64_t bits;
    std::memcpy(&bits, &nan, sizeof bits);
    constexpr uint64_t kPayloadMask = (uint64_t{1} << 51) - 1;
    if ((payload & kPayloadMask) != 0) {
        bits = (bits & ~kPayloadMask) | (payload & kPayloadMask);
        std::memcpy(&nan, &bits, sizeof bits);
    }
    return nan;
}

// from_chars reports values beyond the double range instead of rounding them;
// strtod gives infinity for those that are too large and zero for those that
// are too small. The decimal exponent of the first significant digit tells
// which side a rejected value lies on.
double OutOfRangeDecimal(const char* p, const char* end) {
    int64_t lead = 0;  // decimal exponent of the first non-zero digit, before the 'e' part
    bool seen_nonzero = false;
    bool after_point = false;
    int64_t int_digits = 0;
    int64_t leading_fraction_zeros = 0;
    for (; p < end; ++p) {
        char c = *p;
        if (c == '.') {
            after_point = true;
            continue;
        }
        if (!IsDigit(c)) {
            break;
        }
        if (!after_point) {
            if (seen_nonzero || c != '0') {
                seen_nonzero = true;
                ++int_digits;
            }
        } else if (!seen_nonzero) {
            if (c == '0') {
                ++leading_fraction_zeros;
            } else {
                seen_nonzero = true;
            }
        }
    }
    lead = int_digits > 0 ? int_digits - 1 : -(leading_fraction_zeros + 1);
    int64_t exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-')) {
            negative = *p == '-';
            ++p;
        }
        for (; p < end && IsDigit(*p); ++p) {
            if (exponent < 1000000000) {
                exponent = exponent * 10 + (*p - '0');
            }
        }
        if (negative) {
            exponent = -exponent;
        }
    }
    return lead + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

// Converts the decimal text [first, last) (digits with at most one point,
// then an optional exponent; checked by the caller) when one exact step
// gives the value: a significand of at most 19 digits below 2^53 and a
// power of ten from 1e-22 to 1e22. Both are then doubles exactly, and one
// multiplication or division of them is correctly rounded, as the full
// conversion is; most numbers in files are like this. False otherwise, and
// where arithmetic does not round each operation to double.
bool ReadShortDecimal(const char* first, const char* last, double& out) {
#if FLT_EVAL_METHOD == 0
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    uint64_t significand = 0;
    int digits = 0;  // from the first non-zero one
    int64_t exponent = 0;
    bool afterPoint = false;
    const char* p = first;
    for (; p < last && (IsDigit(*p) || *p == '.'); ++p) {
        if (*p == '.') {
            afterPoint = true;
            continue;
        }
        if (digits > 0 || *p != '0') {
            if (++digits > 19) {
                return false;
            }
            significand = significand * 10 + static_cast<uint64_t>(*p - '0');
        }
        exponent -= afterPoint ? 1 : 0;
    }
    if (p < last) {  // the exponent: a letter, a sign, at least one digit
        ++p;
        const bool negative = *p == '-';
        p += (*p == '-' || *p == '+') ? 1 : 0;
        int64_t written = 0;
        for (; p < last; ++p) {
            if (written > 100000) {
                return false;
            }
            written = written * 10 + (*p - '0');
        }
        exponent += negative ? -written : written;
    }
    if (significand == 0) {
        out = 0.0;
        return true;
    }
    if (significand > (uint64_t{1} << 53) || exponent < -22 || exponent > 22) {
        return false;
    }
    const double value = static_cast<double>(significand);
    out = exponent < 0 ? value / kPowersOfTen[-exponent] : value * kPowersOfTen[exponent];
    return true;
#else
    (void)first;
    (void)last;
    (void)out;
    return false;
#endif
}

// Converts [first, last), already checked to be a decimal number in strtod's
// syntax without sign (or, with `hex`, the hexadecimal digits after "0x").
// Returns false when the value lies beyond the range of a double.
#if defined(__EMSCRIPTEN__)
// The WebAssembly C++ library has no floating-point from_chars. Its C
// library knows the "C" locale only, so strtod cannot meet a decimal comma
// and gives the same correctly rounded results; beyond the range it returns
// infinity or zero, as from_chars' callers below would.
bool ReadFloating(const char* first, const char* last, bool hex, double& out) {
    std::string text = hex ? "0x" : "";
    text.append(first, last);
    out = std::strtod(text.c_str(), nullptr);
    return true;
}
#else
bool ReadFloating(const char* first, const char* last, bool hex, double& out) {
    auto result = std::from_chars(first, last, out,
                                  hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        return false;
    }
    if (result.ec != std::errc{}) {
        out = 0.0;
    }
    return true;
}
#endif

}  // namespace

double ConvertNumberText(const char* begin, const char* end, size_t* consumed) {
    const char* p = begin;
    if (consumed) {
        *consumed = 0;
    }
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    const char* body = p;
    double magnitude = 0.0;
    const char* stop = nullptr;

    // Only a letter starts a word: numbers skip the comparisons.
    const bool word = p < end && !IsDigit(*p) && *p != '.';
    if (word && StartsWithNoCase(p, end, "inf")) {
        stop = p + (StartsWithNoCase(p, end, "infinity") ? 8 : 3);
        magnitude = std::numeric_limits<double>::infinity();
    } else if (word && StartsWithNoCase(p, end, "nan")) {
        stop = p + 3;
        magnitude = std::numeric_limits<double>::quiet_NaN();
        if (stop < end && *stop == '(') {
            const char* q = stop + 1;
            while (q < end &&
                   (IsDigit(*q) || (Lower(*q) >= 'a' && Lower(*q) <= 'z') || *q == '_')) {
                ++q;
            }
            if (q < end && *q == ')') {
                magnitude = NanWithPayload(stop + 1, q);
                stop = q + 1;
            }
        }
    } else if (p + 1 < end && p[0] == '0' && Lower(p[1]) == 'x' &&
               ((p + 2 < end && IsHexDigit(p[2])) ||
                (p + 3 < end && p[2] == '.' && IsHexDigit(p[3])))) {
        const char* q = p + 2;
        while (q < end && IsHexDigit(*q)) {
            ++q;
        }
        if (q < end && *q == '.') {
            ++q;
            while (q < end && IsHexDigit(*q)) {
                ++q;
            }
        }
        if (q < end && Lower(*q) == 'p') {
            q = SkipExponent(q, end);
        }
        stop = q;
        if (!ReadFloating(p + 2, stop, true, magnitude)) {
            // Hex digits carry a binary exponent; decide the side the same way.
            const char* e = p + 2;
            int64_t lead_bits = 0;
            bool seen = false;
            bool after_point = false;
            for (; e < stop && *e != 'p' && *e != 'P'; ++e) {
                if (*e == '.') {
                    after_point = true;
                    continue;
                }
                bool zero = *e == '0';
                if (!after_point) {
                    if (seen || !zero) {
                        seen = true;
                        lead_bits += 4;
                    }
                } else if (!seen) {
                    if (zero) {
                        lead_bits -= 4;
                    } else {
                        seen = true;
                    }
                }
            }
            int64_t exponent = 0;
            if (e < stop) {
                ++e;
                bool neg = false;
                if (*e == '+' || *e == '-') {
                    neg = *e == '-';
                    ++e;
                }
                for (; e < stop; ++e) {
                    if (exponent < 1000000000) {
                        exponent = exponent * 10 + (*e - '0');
                    }
                }
                if (neg) {
                    exponent = -exponent;
                }
            }
            magnitude = lead_bits + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        }
    } else {
        const char* q = p;
        bool digits = false;
        while (q < end && IsDigit(*q)) {
            ++q;
            digits = true;
        }
        if (q < end && *q == '.') {
            const char* f = q + 1;
            while (f < end && IsDigit(*f)) {
                ++f;
                digits = true;
            }
            if (digits) {
                q = f;
            }
        }
        if (!digits) {
            return 0.0;
        }
        if (q < end && Lower(*q) == 'e') {
            q = SkipExponent(q, end);
        }
        stop = q;
        if (!ReadShortDecimal(body, stop, magnitude) &&
            !ReadFloating(body, stop, false, magnitude)) {
            magnitude = OutOfRangeDecimal(body, stop);
        }
    }
    if (consumed) {
        *consumed = static_cast<size_t>(stop - begin);
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace kivanime
