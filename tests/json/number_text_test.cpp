// The number conversion must agree with the C library's strtod in the "C"
// locale, bit for bit and in the length it accepts, on any text: it is
// checked against strtod itself on many generated texts. (That it ignores a
// host's decimal-comma locale is checked through the C interface.)
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "json/number_text.h"
#include "support/cannot_run.h"

#if defined(__unix__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// A text copied so that it ends where readable memory ends: on Unix a page
// that cannot be read follows it, so reading one character past the end
// stops the program; elsewhere the copy is on the heap at its exact size
// (where the sanitizers see such a read).
class TextAtMemoryEnd {
public:
    TextAtMemoryEnd() {
#if defined(__unix__)
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* pages =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages != MAP_FAILED &&
            mprotect(static_cast<char*>(pages) + page_, page_, PROT_NONE) == 0) {
            pages_ = static_cast<char*>(pages);
        }
#endif
    }
    ~TextAtMemoryEnd() {
#if defined(__unix__)
        if (pages_ != nullptr) {
            munmap(pages_, 2 * page_);
        }
#endif
    }
    TextAtMemoryEnd(const TextAtMemoryEnd&) = delete;
    TextAtMemoryEnd& operator=(const TextAtMemoryEnd&) = delete;

    // The copy's first character; the copy ends where the readable memory does.
    const char* place(const std::string& text) {
        if (pages_ != nullptr && text.size() <= page_) {
            char* first = pages_ + page_ - text.size();
            std::copy(text.begin(), text.end(), first);
            return first;
        }
        heap_ = std::make_unique<char[]>(text.size());
        std::copy(text.begin(), text.end(), heap_.get());
        return heap_.get();
    }

private:
    char* pages_ = nullptr;
    size_t page_ = 0;
    std::unique_ptr<char[]> heap_;
};

// Bit for bit, NaN payloads included where the reference is glibc; other C
// libraries read the chars of nan(chars) in their own ways, so elsewhere a
// NaN only has to keep its sign.
bool SameValue(double actual, double expected) {
#if !defined(__GLIBC__)
    if (std::isnan(actual) && std::isnan(expected)) {
        return std::signbit(actual) == std::signbit(expected);
    }
#endif
    return std::bit_cast<uint64_t>(actual) == std::bit_cast<uint64_t>(expected);
}

// Whether this C library's strtod reads the C99 forms (hexadecimal,
// infinities, NaNs) and converts nothing of "-." or of a sign inside
// nan(...); an older or looser runtime cannot serve as the reference.
bool StrtodIsC99() {
    const struct {
        const char* text;
        size_t length;
    } probes[] = {{"0x1.8p1", 7}, {"-infinity", 9}, {"nan(12)", 7}, {"-.", 0}, {"nan(-1)", 3}};
    for (const auto& probe : probes) {
        char* end = nullptr;
        const double value = std::strtod(probe.text, &end);
        if (end != probe.text + probe.length ||
            std::signbit(value) != (probe.text[0] == '-' && probe.length > 0)) {
            return false;
        }
    }
    return std::strtod("0x1.8p1", nullptr) == 3.0;
}

TEST(NumberText, AgreesWithStrtodInTheCLocale) {
    if (!StrtodIsC99()) {
        KIVANIME_CANNOT_RUN_HERE() << "this C library's strtod does not read the C99 forms";
    }
    ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
    int checked = 0;
    int failures = 0;
    // The conversion sees each text inside a longer buffer, so that reading
    // past its end would change the result, and again where readable memory
    // ends right after it, so that a read past the end that changes nothing
    // stops the program all the same.
    TextAtMemoryEnd atEnd;
    auto check = [&](const std::string& text) {
        ++checked;
        char* strtodEnd = nullptr;
        const double expected = std::strtod(text.c_str(), &strtodEnd);
        const size_t expectedLength = static_cast<size_t>(strtodEnd - text.c_str());
        const std::string padded = text + "1e9p1)";
        size_t length = 0;
        const double actual =
            kivanime::ConvertNumberText(padded.data(), padded.data() + text.size(), &length);
        const char* alone = atEnd.place(text);
        size_t lengthAlone = 0;
        const double actualAlone =
            kivanime::ConvertNumberText(alone, alone + text.size(), &lengthAlone);
        if ((!SameValue(actual, expected) || length != expectedLength ||
             !SameValue(actualAlone, actual) || lengthAlone != length) &&
            ++failures <= 20) {
            ADD_FAILURE() << "text \"" << text << "\": strtod gives " << std::hexfloat << expected
                          << " of length " << expectedLength << ", the conversion " << actual
                          << " of length " << length;
        }
    };

    // Fixed texts around the edges of the double range and the special forms.
    // clang-format off
    const char* const fixed =
        "- + . -. e5 0 -0 +0 00 0. .0 0e 0e+ 1e- 0x 0X 0x. 0x.p1 0x1p 0x1p+ 0xg -0x 0x.8 0XFF.Fp4 "
        "0X1P-1074 0x1p-1075 0x1.8p-1075 0x1p-1076 0x1.fffffffffffff8p1023 0x1p1024 "
        "0x1p99999999999999999999 0x0.0000000001p-1050 0x100000000000000000000p-1 "
        "1.7976931348623157e308 1.7976931348623158e308 1.797693134862315807e308 "
        "1.7976931348623159e308 2e308 4.9406564584124654e-324 2.4703282292062327e-324 "
        "2.4703282292062328e-324 2e-324 1e-400 0.0000000000000000001e-310 "
        "100000000000000000000000000000e-330 1e99999999999999999999 1e-99999999999999999 "
        "0e99999999999 0.000e-99999999999 9007199254740993 9007199254740992.5 inf INF "
        "-Inf infinity INFINITY infinit infx in nan NAN -nan nan( nan() nan(123) nan(0x7) "
        "nan(abc_1) nan(-1) nan(0) nan(99999999999999999999999) nan(0xfffffffffffff) "
        "-nan(1) nan(1 nan) ";
    // clang-format on
    check("");
    std::istringstream fixedTexts(fixed);
    for (std::string text; fixedTexts >> text;) {
        check(text);
    }
    // Out of range with many hex digits: the side is decided by four bits per
    // digit: 2000 digits against an exponent of -9100 underflow to 0.
    check("0x1" + std::string(1999, '0') + "p-9100");
    // Leading zeros carry no bits, before the point or after it (four bits
    // fewer each there), and every digit after the first nonzero one counts:
    // 2^-1200 and 2^-1104 underflow to 0, 2^1100 and 2^1096 overflow.
    check("0x" + std::string(400, '0') + "1p-1200");
    check("0x0." + std::string(300, '0') + "1p+100");
    check("0x1" + std::string(300, '0') + "p-100");
    check("0x0.1" + std::string(300, '0') + "p+1100");
    // Out of range with no exponent, the digits running to the very end.
    check("1" + std::string(400, '0'));
    check("0." + std::string(400, '0') + "1");
    // Out of range after 400 zeros behind the point: the side is decided by
    // the first nonzero digit's place, so 1e-351 underflows to 0.
    check("0." + std::string(400, '0') + "1e50");

    // Random texts over the bytes that matter to strtod, and random sequences
    // of meaningful pieces, which reach the words and the hexadecimal forms
    // far more often.
    std::mt19937_64 rng(20261206);
    const std::string alphabet = "0123456789.eE+-xXpPnaifty()";
    const char* pieces[] = {"-",      "+",    "0",   "1",     "7",         "9",   "00",   "123",
                            ".",      ".5",   "e",   "E",     "e+",        "e-",  "e308", "e-320",
                            "x",      "0x",   "0X",  "f",     "A",         "p",   "P",    "p-",
                            "p+1023", "inf",  "INF", "inity", "infinity",  "nan", "NaN",  "(",
                            ")",      "nan(", "_",   "a",     "9999999999"};
    for (int i = 0; i < 60000; ++i) {
        std::string bytes;
        std::string words;
        for (int n = 1 + static_cast<int>(rng() % 14); n > 0; --n) {
            bytes.push_back(alphabet[rng() % alphabet.size()]);
        }
        for (int n = 1 + static_cast<int>(rng() % 6); n > 0; --n) {
            words += pieces[rng() % std::size(pieces)];
        }
        check(bytes);
        check(words);
    }

    // Printed random doubles: every bit pattern, in the printf forms.
    char buffer[128];
    for (int i = 0; i < 15000; ++i) {
        const double d = std::bit_cast<double>(rng());
        for (const char* format : {"%.17g", "%a"}) {
            std::snprintf(buffer, sizeof buffer, format, d);
            check(buffer);
        }
        std::snprintf(buffer, sizeof buffer, "%.*e", static_cast<int>(rng() % 26), d);
        check(buffer);
    }

    // Long decimal texts, which need correct rounding, and exponents far
    // outside the range.
    for (int i = 0; i < 20000; ++i) {
        std::string text = (i & 1) ? "-" : "";
        const int n = 1 + static_cast<int>(rng() % 60);
        const int point = static_cast<int>(rng() % static_cast<uint64_t>(n + 1));
        for (int k = 0; k < n; ++k) {
            text += k == point ? "." : "";
            text.push_back(static_cast<char>('0' + rng() % 10));
        }
        if (i % 3 != 0) {
            text += "e" + std::to_string(static_cast<int>(rng() % 841) - 420);
        }
        check(text);
    }
    // Short decimals as files write them, which take a one-step exact path:
    // significands up to 19 digits around 2^53 = 9007199254740992, points
    // anywhere, exponents around the exact powers of ten (1e22).
    for (int i = 0; i < 30000; ++i) {
        const uint64_t near53 = (uint64_t{1} << 53) - 3 + rng() % 7;
        const uint64_t significand =
            i % 4 == 0 ? near53 : rng() % (i % 4 == 1 ? 100000 : 10000000000000000000u);
        std::string text = (i & 1) ? "-" : "";
        text += std::string(rng() % 3, '0') + std::to_string(significand);
        const size_t point = rng() % (text.size() + 2);
        if (point <= text.size() && point > ((i & 1) ? 1u : 0u)) {
            text.insert(point, ".");
        }
        if (i % 5 != 0) {
            text += "e" + std::to_string(static_cast<int>(rng() % 61) - 30);
        }
        check(text);
    }
    EXPECT_GT(checked, 180000);
}

}  // namespace
