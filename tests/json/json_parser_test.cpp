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

using kivanime::JsonType;
using kivanime::JsonValue;
using kivanime::ParseJson;
using namespace std::string_view_literals;

std::string Read(std::string_view text) {
    return kivanime::test::JsonText(ParseJson(text));
}

struct Case {
    std::string_view text;
    const char* expected;
};

void ExpectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        std::string shown;
        kivanime::test::PrintJsonString(c.text, shown);
        EXPECT_EQ(Read(c.text), c.expected) << "text: " << shown;
    }
}

TEST(JsonParser, RootValues) {
    // clang-format off
    ExpectCases({
        {"", "null"}, {" \t\r\n", "null"},
        {"\f1", "null"},  // form feed is not whitespace
        {"\v1", "null"}, {"null", "null"}, {"true", "true"}, {"false", "false"},
        {" \n\t true", "true"},
        // Anything after the first complete value is ignored.
        {"1 2", "1"}, {"[1] [2]", "[1]"}, {"{} x", "{}"}, {"truex", "true"},
        {"\"a\" \"b\"", "\"a\""},
        // Bytes that start no value.
        {"]", "null"}, {"}", "null"}, {",1", "null"}, {"+1", "null"}, {".5", "null"},
        {"'a'", "null"}, {"/* c */ 1", "null"}, {"// c\n1", "null"},
        {"\xEF\xBB\xBF{\"a\":1}", "null"},  // a byte-order mark starts no value
    });
    // clang-format on
}

TEST(JsonParser, IncompleteWords) {
    // clang-format off
    ExpectCases({
        {"tru", "false"}, {"t", "false"}, {"fals", "false"}, {"nul", "null"}, {"True", "null"},
        // A word that does not match consumes nothing, so inside an array its
        // first byte is skipped and every other byte becomes an element.
        {"[tru]", "[false,null,null]"}, {"[nul]", "[null,null,null]"},
        {"[fals]", "[false,null,null,null]"}, {"[true false null]", "[true,false,null]"},
        {"[falsex]", "[false,null]"},
    });
    // clang-format on
}

TEST(JsonParser, LenientArrays) {
    // clang-format off
    ExpectCases({
        {"[]", "[]"}, {"[ \n ]", "[]"}, {"[1 2 3]", "[1,2,3]"}, {"[1,2,3,]", "[1,2,3]"},
        {"[1,,2]", "[1,null,2]"}, {"[,1]", "[null,1]"}, {"[,]", "[null]"},
        {"[\n1\n,\n2\n]", "[1,2]"}, {"[}]", "[null]"},
        // Each unrecognised byte is a Null element and is then skipped.
        {"[1,'a',2]", "[1,null,null,null,null,2]"}, {"[1;2]", "[1,null,2]"},
        // Unterminated arrays close at the end of the text.
        {"[", "[]"}, {"[1,2", "[1,2]"}, {"[1,", "[1]"}, {"[[1,[2", "[[1,[2]]]"},
        {"[\"ab", "[\"ab\"]"},
    });
    // clang-format on
}

TEST(JsonParser, LenientObjects) {
    // clang-format off
    ExpectCases({
        {"{}", "{}"}, {"{ }", "{}"}, {"{\"a\":1,\"a\":2}", "{\"a\":2}"},
        {"{\"a\":[1],\"b\":0,\"a\":{}}", "{\"a\":{},\"b\":0}"},
        // Missing colon, missing comma, trailing comma.
        {"{\"a\" 1, \"b\":2,}", "{\"a\":1,\"b\":2}"}, {"{\"a\":1 \"b\":2}", "{\"a\":1,\"b\":2}"},
        {"{\"a\" \"b\"}", "{\"a\":\"b\"}"}, {"{\"a\":1,,\"b\":2}", "{\"a\":1,\"b\":2}"},
        {"{\"a\":1 , }", "{\"a\":1}"},
        // A key without a value.
        {"{\"a\"}", "{\"a\":null}"}, {"{\"a\":}", "{\"a\":null}"},
        {"{\"a\",\"b\":1}", "{\"a\":null,\"b\":1}"},
        // Keys must be quoted: bare words are passed over byte by byte.
        {"{a:1}", "{}"}, {"{1:2}", "{}"}, {"{\"x\":1 y \"z\":2}", "{\"x\":1,\"z\":2}"},
        {"{abc \"k\":true}", "{\"k\":true}"}, {"{\"\":1}", "{\"\":1}"},
        {"{\"a\":1}}", "{\"a\":1}"},
        {"{\"a\":{\"b\":[1,{\"c\":true}]}}", "{\"a\":{\"b\":[1,{\"c\":true}]}}"},
        // Unterminated objects close at the end of the text.
        {"{", "{}"}, {"{\"a\":1", "{\"a\":1}"}, {"{\"a\":", "{\"a\":null}"},
        {"{\"a", "{\"a\":null}"}, {"{\"a\":{\"b\":[", "{\"a\":{\"b\":[]}}"},
    });
    // clang-format on
}

TEST(JsonParser, StringEscapes) {
    // clang-format off
    ExpectCases({
        {"\"\"", "\"\""}, {"\"\\\"\\/\\\\\"", "\"\\x22/\\x5c\""},
        {"\"\\b\\f\\n\\r\\t\"", "\"\\x08\\x0c\\x0a\\x0d\\x09\""}, {"\"\\q\"", "\"q\""},
        {"\"\\'\"", "\"'\""}, {"\"\\u0041\"", "\"A\""}, {"\"\\u007f\"", "\"\\x7f\""},
        {"\"\\u0080\"", "\"\\xc2\\x80\""}, {"\"\\u00e9\"", "\"\\xc3\\xa9\""},
        {"\"\\u07FF\"", "\"\\xdf\\xbf\""}, {"\"\\u0800\"", "\"\\xe0\\xa0\\x80\""},
        {"\"\\u20AC\"", "\"\\xe2\\x82\\xac\""}, {"\"\\uFfFf\"", "\"\\xef\\xbf\\xbf\""},
        // A byte that is not a hex digit counts as 0.
        {"\"\\uZZZZ\"", "\"\\x00\""}, {"\"\\u12g4\"", "\"\\xe1\\x88\\x84\""},
        // Surrogate halves are encoded one by one, paired or not.
        {"\"\\uD83D\\uDE00\"", "\"\\xed\\xa0\\xbd\\xed\\xb8\\x80\""},
        {"\"\\uDC00x\"", "\"\\xed\\xb0\\x80x\""}, {"\"\\uD800\"", "\"\\xed\\xa0\\x80\""},
        // Fewer than four bytes left after the u: the escape is dropped and
        // collection goes on with the byte after the u.
        {"\"\\u12", "\"12\""}, {"\"\\u\"", "\"\""}, {"\"\\u", "\"\""},
        // Four bytes are taken whatever they are, the closing quote included.
        {"[\"\\u12\"]", "[\"\\xe1\\x88\\x80\"]"},
        // A backslash as the last byte of the text is kept.
        {"\"ab\\", "\"ab\\x5c\""}, {"\"a\\\"", "\"a\\x22\""},
        // Unterminated strings keep what they collected.
        {"\"abc", "\"abc\""},
        // Raw control bytes, NUL, UTF-8 and invalid bytes are kept unchanged.
        {"\"a\tb\nc\"", "\"a\\x09b\\x0ac\""}, {"\"a\0b\""sv, "\"a\\x00b\""},
        {"\"\xC3\xA9\xFF\"", "\"\\xc3\\xa9\\xff\""},
    });
    // clang-format on
}

TEST(JsonParser, NumbersTakeTheConvertedValueAndTheScannedEnd) {
    // clang-format off
    ExpectCases({
        {"0", "0"}, {"-0", "-0"}, {"-", "0"}, {"1.", "1"}, {"1e", "1"}, {"1e+", "1"},
        {"1e5", "1e+05"}, {"1E+5", "1e+05"}, {"-0.5e-1", "-0.05"}, {"-.5", "-0.5"}, {"01", "1"},
        {"1e400", "inf"}, {"-1e400", "-inf"}, {"1e-400", "0"}, {"4.9e-324", "5e-324"},
        {"123abc", "123"}, {"0x10", "16"}, {"0x1p-2", "0.25"}, {"-Infinity", "-inf"},
        {"-inf", "-inf"}, {"-nan", "-nan"}, {"1.5.3", "1.5"},
        // Where the position is left shows in what follows inside an array.
        {"[-]", "[0]"}, {"[--1]", "[0,-1]"}, {"[1.]", "[1]"}, {"[1e 2]", "[1,2]"},
        {"[1e+]", "[1]"}, {"[1e5x]", "[1e+05,null]"}, {"[1-2]", "[1,-2]"}, {"[.5]", "[null,5]"},
        {"[1.5.3]", "[1.5,null,3]"}, {"[0x10]", "[16,null,10]"}, {"[0x1p3]", "[8,null,1,null,3]"},
        {"[-Infinity]", "[-inf,null,null,false,null,null,null,false,null]"},
        {"[-nan]", "[-nan,null,null,null]"}, {"[1,-0.0,2.5e-3]", "[1,-0,0.0025]"},
    });
    // clang-format on
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

TEST(JsonParser, NumberValuesAreExact) {
    // Values compared bit for bit with the literals the compiler converts.
    // clang-format off
    const std::pair<std::string_view, double> cases[] = {
        {"0.1", 0.1}, {"-0.05", -0.05}, {"1.7976931348623157e308", 1.7976931348623157e308},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
        {"9007199254740993", 9007199254740993.0}, {"0.30000000000000004441", 0.30000000000000004441}};
    // clang-format on
    for (const auto& [text, expected] : cases) {
        JsonValue v = ParseJson(text);
        ASSERT_EQ(v.type, JsonType::Number) << text;
        EXPECT_EQ(v.number, expected) << text;
    }
    EXPECT_TRUE(std::signbit(ParseJson("-0").number));
    EXPECT_FALSE(std::signbit(ParseJson("-").number));
    EXPECT_TRUE(std::isnan(ParseJson("-nan").number));
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
    std::string deep = Repeat("[", 520) + "\"]]\\\"[{\"" + Repeat("]", 520);
    JsonValue sibling = ParseJson("{\"deep\":" + deep + ",\"after\":[1,2]}");
    EXPECT_EQ(sibling.get("after").size(), 2u);
    EXPECT_EQ(sibling.get("after").at(1).asInt(0), 2);
    EXPECT_TRUE(sibling.get("deep").isArray());
}

}  // namespace
