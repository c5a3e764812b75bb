// The lenient reader, case by case: each text is read and the result printed
// compactly, so that the position rules show up in what follows a value as
// much as in the value itself.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/json_parser.h"
#include "support/json_print.h"

namespace {

using kivanime::JsonValue;
using kivanime::ParseJson;
using namespace std::string_view_literals;

TEST(JsonParser, LenientReading) {
    const struct {
        std::string_view text;
        const char* expected;
    } cases[] = {
        // clang-format off
        // Root values; anything after the first complete value is ignored, and
        // bytes that start no value (a form feed is not whitespace) give null.
        {"", "null"}, {" \t\r\n", "null"}, {"\f1", "null"}, {"\v1", "null"}, {"null", "null"},
        {"true", "true"}, {" \n\t false", "false"}, {"1 2", "1"}, {"[1] [2]", "[1]"},
        {"{} x", "{}"}, {"truex", "true"}, {"]", "null"}, {",1", "null"}, {"+1", "null"},
        {".5", "null"}, {"'a'", "null"}, {"/* c */ 1", "null"},
        {"\xEF\xBB\xBF{\"a\":1}", "null"},  // a byte-order mark starts no value
        // Incomplete words: a word that does not match consumes nothing, so
        // inside an array its first byte is skipped and every other byte
        // becomes an element.
        {"tru", "false"}, {"nul", "null"}, {"True", "null"}, {"[tru]", "[false,null,null]"},
        {"[nul]", "[null,null,null]"}, {"[fals]", "[false,null,null,null]"},
        {"[true false null]", "[true,false,null]"}, {"[falsex]", "[false,null]"},
        // Arrays: missing and extra commas, unknown bytes as null elements,
        // unterminated arrays closed at the end of the text.
        {"[ \n ]", "[]"}, {"[1 2 3]", "[1,2,3]"}, {"[1,2,3,]", "[1,2,3]"}, {"[1,,2]", "[1,null,2]"},
        {"[,1]", "[null,1]"}, {"[,]", "[null]"}, {"[\n1\n,\n2\n]", "[1,2]"}, {"[}]", "[null]"},
        {"[1,'a',2]", "[1,null,null,null,null,2]"}, {"[1;2]", "[1,null,2]"}, {"[", "[]"},
        {"[1,", "[1]"}, {"[[1,[2", "[[1,[2]]]"}, {"[\"ab", "[\"ab\"]"},
        // Objects: the last value of a repeated key at its first place;
        // missing colons and commas; keys without values; bare keys passed
        // over byte by byte; unterminated objects closed.
        {"{ }", "{}"}, {"{\"a\":[1],\"b\":0,\"a\":{}}", "{\"a\":{},\"b\":0}"},
        {"{\"a\" 1, \"b\":2,}", "{\"a\":1,\"b\":2}"}, {"{\"a\":1 \"b\":2}", "{\"a\":1,\"b\":2}"},
        {"{\"a\" \"b\"}", "{\"a\":\"b\"}"}, {"{\"a\":1,,\"b\":2}", "{\"a\":1,\"b\":2}"},
        {"{\"a\"}", "{\"a\":null}"}, {"{\"a\":}", "{\"a\":null}"},
        {"{\"a\",\"b\":1}", "{\"a\":null,\"b\":1}"}, {"{a:1}", "{}"}, {"{1:2}", "{}"},
        {"{\"x\":1 y \"z\":2}", "{\"x\":1,\"z\":2}"}, {"{\"\":1}", "{\"\":1}"},
        {"{\"a\":1}}", "{\"a\":1}"},
        {"{\"a\":{\"b\":[1,{\"c\":true}]}}", "{\"a\":{\"b\":[1,{\"c\":true}]}}"},
        {"{", "{}"}, {"{\"a\":", "{\"a\":null}"}, {"{\"a", "{\"a\":null}"},
        {"{\"a\":{\"b\":[", "{\"a\":{\"b\":[]}}"},
        // Strings: escapes, \u as UTF-8 (a byte that is not a hex digit counts
        // as 0, surrogate halves encoded one by one), fewer than four bytes
        // after the u drop the escape, four are taken whatever they are; a
        // final backslash is kept; other bytes are kept unchanged.
        {"\"\\\"\\/\\\\\"", "\"\\x22/\\x5c\""},
        {"\"\\b\\f\\n\\r\\t\"", "\"\\x08\\x0c\\x0a\\x0d\\x09\""}, {"\"\\q\"", "\"q\""},
        {"\"\\u0041\"", "\"A\""}, {"\"\\u007f\"", "\"\\x7f\""}, {"\"\\u0080\"", "\"\\xc2\\x80\""},
        {"\"\\u07FF\"", "\"\\xdf\\xbf\""}, {"\"\\u0800\"", "\"\\xe0\\xa0\\x80\""},
        {"\"\\uFfFf\"", "\"\\xef\\xbf\\xbf\""}, {"\"\\uZZZZ\"", "\"\\x00\""},
        {"\"\\u12g4\"", "\"\\xe1\\x88\\x84\""}, {"\"\\uD83D\\uDE00\"", "\"\\xed\\xa0\\xbd\\xed\\xb8\\x80\""},
        {"\"\\u12", "\"12\""}, {"\"\\u\"", "\"\""}, {"\"\\u", "\"\""},
        {"[\"\\u12\"]", "[\"\\xe1\\x88\\x80\"]"}, {"\"ab\\", "\"ab\\x5c\""}, {"\"abc", "\"abc\""},
        {"\"a\tb\nc\"", "\"a\\x09b\\x0ac\""}, {"\"a\0b\""sv, "\"a\\x00b\""},
        {"\"\xC3\xA9\xFF\"", "\"\\xc3\\xa9\\xff\""},
        // Numbers take the converted value and the scanned end, which shows in
        // what follows inside an array. (Long digit runs and their rounding
        // are checked with the number conversion and the corpus.)
        {"-0", "-0"}, {"-", "0"}, {"1.", "1"}, {"1e", "1"}, {"1e+", "1"}, {"1E+5", "1e+05"},
        {"-0.5e-1", "-0.05"}, {"-.5", "-0.5"}, {"01", "1"}, {"1e400", "inf"}, {"1e-400", "0"},
        {"4.9e-324", "5e-324"}, {"0x1p-2", "0.25"}, {"-nan", "-nan"}, {"[-]", "[0]"},
        {"[--1]", "[0,-1]"}, {"[1.]", "[1]"}, {"[1e 2]", "[1,2]"}, {"[1e+]", "[1]"},
        {"[1e5x]", "[1e+05,null]"}, {"[1-2]", "[1,-2]"}, {"[.5]", "[null,5]"},
        {"[1.5.3]", "[1.5,null,3]"}, {"[0x10]", "[16,null,10]"}, {"[0x1p3]", "[8,null,1,null,3]"},
        {"[-Infinity]", "[-inf,null,null,false,null,null,null,false,null]"},
        {"[-nan]", "[-nan,null,null,null]"}, {"[1,-0.0,2.5e-3]", "[1,-0,0.0025]"}, {"0.1", "0.1"},
        // clang-format on
    };
    for (const auto& c : cases) {
        std::string shown;
        kivanime::test::PrintJsonString(c.text, shown);
        EXPECT_EQ(kivanime::test::JsonText(ParseJson(c.text)), c.expected) << "text: " << shown;
    }
}

TEST(JsonParser, AMissingCommaIsNotedBeforeEveryKindOfValue) {
    for (const char* next : {"\"a\"", "{}", "[]", "true", "false", "null", "-1", "0", "9"}) {
        kivanime::JsonDiagnostics diagnostics;
        ParseJson(std::string("[1 ") + next + "]", &diagnostics);
        ASSERT_EQ(diagnostics.issues.size(), 1u) << next;
        EXPECT_EQ(diagnostics.issues[0].kind, kivanime::JsonIssueKind::MissingComma) << next;
        EXPECT_EQ(diagnostics.issues[0].offset, 3u) << next;
    }
}

// Depth of the chain of first elements (arrays) or "a" members (objects),
// and the innermost container.
int ChainDepth(const JsonValue& root, const JsonValue** innermost) {
    int depth = 0;
    for (const JsonValue* v = &root;; ++depth) {
        const JsonValue* next = v->isArray() ? &v->at(0) : v->isObject() ? &v->get("a") : nullptr;
        *innermost = v;
        if (next == nullptr || !(next->isArray() || next->isObject())) {
            return depth + (v->isArray() || v->isObject() ? 1 : 0);
        }
        v = next;
    }
}

std::string Repeat(std::string_view piece, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

TEST(JsonParser, NestingIsKeptToTheBoundAndReadsAsNullBeyond) {
    static_assert(kivanime::kJsonMaxDepth == 512);
    const JsonValue* innermost = nullptr;
    for (int levels : {511, 512}) {
        const JsonValue arrays = ParseJson(Repeat("[", levels) + Repeat("]", levels));
        EXPECT_EQ(ChainDepth(arrays, &innermost), levels);
        EXPECT_EQ(innermost->size(), 0u);
    }
    JsonValue objects = ParseJson(Repeat("{\"a\":", 512) + "7" + Repeat("}", 512));
    EXPECT_EQ(ChainDepth(objects, &innermost), 512);
    EXPECT_EQ(innermost->get("a").asInt(0), 7);

    // The 513th level is Null, also when a million levels would overflow the
    // stack if each were a call; the text a deep value spans is passed over
    // exactly (strings with brackets and escaped quotes included), so what
    // follows it still reads.
    const size_t kLevels = 1000000;
    for (const std::string& text :
         {Repeat("[", 513) + Repeat("]", 513), std::string(kLevels, '['),
          Repeat("{\"a\":", 600) + "1" + Repeat("}", 600) + "x", Repeat("{\"a\":", kLevels),
          Repeat("[{\"a\":", kLevels / 2) + Repeat("}]", kLevels / 2)}) {
        JsonValue v = ParseJson(text);
        EXPECT_EQ(ChainDepth(v, &innermost), 512);
        EXPECT_TRUE(innermost->isArray() ? innermost->size() == 1 && innermost->at(0).isNull()
                                         : innermost->has("a") && innermost->get("a").isNull());
    }
    // The first object beyond the bound is noted once, where it starts (for
    // arrays, with the other diagnostics).
    kivanime::JsonDiagnostics diagnostics;
    ParseJson(Repeat("{\"a\":", 513) + "1" + Repeat("}", 513), &diagnostics);
    ASSERT_EQ(diagnostics.issues.size(), 1u);
    EXPECT_EQ(diagnostics.issues[0].kind, kivanime::JsonIssueKind::TooDeep);
    EXPECT_EQ(diagnostics.issues[0].offset, 2560u);
    std::string deep = Repeat("[", 520) + "\"]]\\\"[{\"" + Repeat("]", 520);
    JsonValue sibling = ParseJson("{\"deep\":" + deep + ",\"after\":[1,2]}");
    EXPECT_EQ(sibling.get("after").size(), 2u);
    EXPECT_EQ(sibling.get("after").at(1).asInt(0), 2);
    EXPECT_TRUE(sibling.get("deep").isArray());
}

}  // namespace
