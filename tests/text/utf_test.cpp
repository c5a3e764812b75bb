// UTF-8 and UTF-16: valid text converts exactly both ways, each maximal
// ill-formed UTF-8 subsequence and each unpaired surrogate becomes one U+FFFD.
// (Empty and ASCII paths show in the texture paths the host is handed.)
#include <gtest/gtest.h>

#include <string>

#include "text/utf.h"

namespace kivanime {
namespace {

TEST(Utf8ToUtf16, ValidTextConvertsExactly) {
    // The edges of each sequence length and around the surrogates, both ways.
    const std::string utf8 =
        "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xED\x9F\xBF\xEE\x80\x80"
        "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    const std::u16string utf16 = u"\u007F\u0080\u07FF\u0800\uFFFF\uD7FF\uE000\U00010000\U0010FFFF";
    EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
    EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8SequenceLength("a\xF0\x9F\x98\x80", 1), 4u);
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600x"), "\xF0\x9F\x98\x80x");  // a pair first
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacements) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D}), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00, 0xD83D, u'a'}),
              "\xEF\xBF\xBD\xEF\xBF\xBD"
              "a");
    // The JSON reader keeps an unpaired \u escape as its own three bytes.
    std::string kept;
    AppendUtf8(kept, 0xD800);
    EXPECT_EQ(kept, "\xED\xA0\x80");
}

TEST(Utf8ToUtf16, EachBadSequenceBecomesOneReplacement) {
    struct Case {
        const char* utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"\x80", u"\uFFFD"},                      // stray continuation
        {"\xBF\xBF", u"\uFFFD\uFFFD"},            // one per stray byte
        {"\xC2", u"\uFFFD"},                      // truncated at the end
        {"\xE2\x82x", u"\uFFFDx"},                // truncated, then ASCII
        {"\xF0\x9F\x98", u"\uFFFD"},              // truncated 4-byte form
        {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},  // overlong 3-byte form
        {"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"\xF5\xFE\xFF", u"\uFFFD\uFFFD\uFFFD"},            // bytes that never occur
        {"a\xC3(b", u"a\uFFFD(b"},                          // bad second byte starts anew
        {"\xE2\x82\xE2\x82\xAC", u"\uFFFD\u20AC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_FALSE(IsValidUtf8(c.utf8));
        if (static_cast<unsigned char>(c.utf8[0]) >= 0x80) {
            EXPECT_EQ(Utf8SequenceLength(c.utf8, 0), 0u);
        }
    }
}

}  // namespace
}  // namespace kivanime
