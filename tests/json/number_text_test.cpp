// The number conversion must agree with the C library's strtod in the "C"
// locale, bit for bit and in the length it accepts, on any text: it is
// checked against strtod itself on many generated texts, and it must not
// follow a host that switched to a locale with a decimal comma.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "json/json_parser.h"
#include "json/number_text.h"
#include "support/cannot_run.h"

namespace {

using kivanime::ConvertNumberText;

// Sets LC_NUMERIC for the scope and puts the previous setting back.
class NumericLocale {
public:
    NumericLocale() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = current ? current : "C";
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;

    bool set(const char* name) { return std::setlocale(LC_NUMERIC, name) != nullptr; }

private:
    std::string saved_;
};

uint64_t Bits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

// Bit for bit, NaN payloads included where the reference is glibc; other C
// libraries read the chars of nan(chars) in their own ways, so elsewhere a
// NaN only has to keep its sign.
bool SameValue(double actual, double expected) {
#if !defined(__GLIBC__)
    if (std::isnan(actual) && std::isnan(expected)) {
        return std::signbit(actual) == std::signbit(expected);
    }
#endif
    return Bits(actual) == Bits(expected);
}

// Whether this C library's strtod reads the C99 forms (hexadecimal,
// infinities, NaNs); an older runtime cannot serve as the reference.
bool StrtodIsC99() {
    char* end = nullptr;
    const char* hex = "0x1.8p1";
    if (std::strtod(hex, &end) != 3.0 || end != hex + 7) {
        return false;
    }
    const char* inf = "-infinity";
    if (!std::isinf(std::strtod(inf, &end)) || end != inf + 9) {
        return false;
    }
    const char* nan = "nan(12)";
    if (!std::isnan(std::strtod(nan, &end)) || end != nan + 7) {
        return false;
    }
    // Some C libraries read a lone "-." as -0 or accept a sign inside
    // nan(...); the comparison needs one that converts nothing there.
    const char* dot = "-.";
    if (std::signbit(std::strtod(dot, &end)) || end != dot) {
        return false;
    }
    const char* signed_nan = "nan(-1)";
    std::strtod(signed_nan, &end);
    return end == signed_nan + 3;
}

class Differential {
public:
    // Compares one text; the conversion sees it inside a longer buffer so
    // that reading past its end would change the result.
    void check(const std::string& text) {
        ++checked_;
        char* strtod_end = nullptr;
        double expected = std::strtod(text.c_str(), &strtod_end);
        size_t expected_length = static_cast<size_t>(strtod_end - text.c_str());

        std::string padded = text + "1e9p1)";
        size_t length = 0;
        double actual = ConvertNumberText(padded.data(), padded.data() + text.size(), &length);
        if (!SameValue(actual, expected) || length != expected_length) {
            if (++failures_ <= 20) {
                ADD_FAILURE() << "text \"" << text << "\": strtod gives " << expected << " (bits "
                              << std::hex << Bits(expected) << std::dec << ", length "
                              << expected_length << "), conversion gives " << actual << " (bits "
                              << std::hex << Bits(actual) << std::dec << ", length " << length
                              << ")";
            }
        }
    }

    int checked() const { return checked_; }

private:
    int checked_ = 0;
    int failures_ = 0;
};

TEST(NumberText, AgreesWithStrtodInTheCLocale) {
    if (!StrtodIsC99()) {
        KIVANIME_CANNOT_RUN_HERE() << "this C library's strtod does not read the C99 forms";
    }
    NumericLocale locale;
    ASSERT_TRUE(locale.set("C"));
    std::mt19937_64 rng(20261206);
    Differential diff;

    // Fixed texts around the edges of the double range and the special forms.
    const char* fixed[] = {
        "",
        "-",
        "+",
        ".",
        "-.",
        "e5",
        "0",
        "-0",
        "+0",
        "00",
        "0.",
        ".0",
        "0e",
        "0e+",
        "1e-",
        "0x",
        "0X",
        "0x.",
        "0x.p1",
        "0x1p",
        "0x1p+",
        "0xg",
        "-0x",
        "0x.8",
        "0X1P-1074",
        "0x1p-1075",
        "0x1.8p-1075",
        "0x1p-1076",
        "0x1.fffffffffffff8p1023",
        "0x1p1024",
        "0x1p99999999999999999999",
        "0x0.0000000001p-1050",
        "0x100000000000000000000p-1",
        "1.7976931348623157e308",
        "1.7976931348623158e308",
        "1.797693134862315807e308",
        "1.7976931348623159e308",
        "2e308",
        "4.9406564584124654e-324",
        "2.4703282292062327e-324",
        "2.4703282292062328e-324",
        "2e-324",
        "1e-400",
        "0.0000000000000000001e-310",
        "100000000000000000000000000000e-330",
        "1e99999999999999999999",
        "1e-99999999999999999",
        "0e99999999999",
        "0.000e-99999999999",
        "9007199254740993",
        "9007199254740992.5",
        "inf",
        "INF",
        "-Inf",
        "infinity",
        "INFINITY",
        "infinit",
        "infx",
        "in",
        "nan",
        "NAN",
        "-nan",
        "nan(",
        "nan()",
        "nan(123)",
        "nan(0x7)",
        "nan(abc_1)",
        "nan(-1)",
        "nan(0)",
        "nan(99999999999999999999999)",
        "nan(0xfffffffffffff)",
        "-nan(1)",
        "nan(1",
        "nan)",
    };
    for (const char* text : fixed) {
        diff.check(text);
    }
    // Out of range with many hex digits: the side is decided by four bits per
    // digit: 2000 digits against an exponent of -9100 underflow to 0.
    diff.check("0x1" + std::string(1999, '0') + "p-9100");

    // Random texts over the bytes that matter to strtod.
    const std::string alphabet = "0123456789.eE+-xXpPnaifty()";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(1, 14);
    for (int i = 0; i < 60000; ++i) {
        std::string text;
        for (int n = length(rng); n > 0; --n) {
            text.push_back(alphabet[pick(rng)]);
        }
        diff.check(text);
    }

    // Random sequences of meaningful pieces, which reach the words and the
    // hexadecimal forms far more often.
    const char* pieces[] = {"-",      "+",    "0",   "1",     "7",         "9",   "00",   "123",
                            ".",      ".5",   "e",   "E",     "e+",        "e-",  "e308", "e-320",
                            "x",      "0x",   "0X",  "f",     "A",         "p",   "P",    "p-",
                            "p+1023", "inf",  "INF", "inity", "infinity",  "nan", "NaN",  "(",
                            ")",      "nan(", "_",   "a",     "9999999999"};
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> count(1, 6);
    for (int i = 0; i < 60000; ++i) {
        std::string text;
        for (int n = count(rng); n > 0; --n) {
            text += pieces[piece(rng)];
        }
        diff.check(text);
    }

    // Printed random doubles: every bit pattern, in the printf forms.
    std::uniform_int_distribution<int> precision(0, 25);
    char buffer[128];
    for (int i = 0; i < 15000; ++i) {
        uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        std::snprintf(buffer, sizeof buffer, "%.17g", d);
        diff.check(buffer);
        std::snprintf(buffer, sizeof buffer, "%a", d);
        diff.check(buffer);
        std::snprintf(buffer, sizeof buffer, "%.*e", precision(rng), d);
        diff.check(buffer);
    }

    // Long decimal texts, which need correct rounding, and exponents far
    // outside the range.
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> digits(1, 60);
    std::uniform_int_distribution<int> exponent(-420, 420);
    for (int i = 0; i < 20000; ++i) {
        std::string text = (i & 1) ? "-" : "";
        int n = digits(rng);
        int point = std::uniform_int_distribution<int>(0, n)(rng);
        for (int k = 0; k < n; ++k) {
            if (k == point) {
                text.push_back('.');
            }
            text.push_back(static_cast<char>('0' + digit(rng)));
        }
        if (i % 3 != 0) {
            text += "e" + std::to_string(exponent(rng));
        }
        diff.check(text);
    }
    EXPECT_GT(diff.checked(), 150000);
}

TEST(NumberText, ReadsTheSameUnderADecimalCommaLocale) {
    NumericLocale locale;
    bool found = false;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR", "de_DE.utf8"}) {
        if (locale.set(name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
            found = true;
            break;
        }
    }
    if (!found) {
        KIVANIME_CANNOT_RUN_HERE() << "no locale with a decimal comma is installed";
    }
    EXPECT_EQ(kivanime::ParseJson("1.5").number, 1.5);
    EXPECT_EQ(kivanime::ParseJson("-0.25e1").number, -2.5);
    kivanime::JsonValue list = kivanime::ParseJson("[1.5,2,0x1.8p1]");
    ASSERT_EQ(list.size(), 7u);  // 1.5, 2, 3, then x, 1.8, p and 1 after the hex form's 0
    EXPECT_EQ(list.at(0).number, 1.5);
    EXPECT_EQ(list.at(2).number, 3.0);
    EXPECT_EQ(list.at(4).number, 1.8);
    const char text[] = "1,5";
    size_t consumed = 0;
    EXPECT_EQ(ConvertNumberText(text, text + 3, &consumed), 1.0);
    EXPECT_EQ(consumed, 1u);
}

}  // namespace
