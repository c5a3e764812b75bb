// UTF-8 to UTF-16 conversion of texture paths: valid text converts exactly,
// and each maximal ill-formed subsequence becomes one U+FFFD.
#include <gtest/gtest.h>

#include <string>

#include "text/utf.h"

namespace kivanime {
namespace {

TEST(Utf8ToUtf16, ValidTextConvertsExactly) {
    EXPECT_EQ(Utf8ToUtf16(""), u"");
    EXPECT_EQ(Utf8ToUtf16("chars/hero/body.png"), u"chars/hero/body.png");
    EXPECT_EQ(Utf8ToUtf16("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"),
              u"\u007F\u0080\u07FF\u0800\uFFFF");
    EXPECT_EQ(Utf8ToUtf16("\xED\x9F\xBF\xEE\x80\x80"), u"\uD7FF\uE000");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"), u"\U00010000\U0010FFFF");
    EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80 ok"));
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
    }
}

}  // namespace
}  // namespace kivanime
