#include "json/json_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "json/json_parser.h"

namespace {

using kivanime::JsonNull;
using kivanime::JsonType;
using kivanime::JsonValue;
using kivanime::ParseJson;

constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr double kInf = std::numeric_limits<double>::infinity();

JsonValue Number(double d) {
    JsonValue v;
    v.type = JsonType::Number;
    v.number = d;
    return v;
}

TEST(JsonValue, FailedLookupsReturnTheSharedNull) {
    JsonValue doc = ParseJson(R"({"list":[1,2,3],"text":"abc","k":null,"n":4})");
    const JsonValue& list = doc.get("list");
    ASSERT_EQ(list.size(), 3u);
    for (const JsonValue* v : {&list.get("0"), &doc.get("missing"), &list.at(5), &list.at(3),
                               &list.at(uint64_t{1} << 32), &list.at(UINT64_MAX), &doc.at(0),
                               &doc.get("missing").get("deeper").at(2)}) {
        EXPECT_EQ(v, &JsonNull());
    }
    EXPECT_EQ(JsonNull().size() + doc.get("text").size() + doc.get("n").size(), 0u);
    // A member whose value is null exists, but reads as every default.
    EXPECT_TRUE(doc.has("k"));
    EXPECT_FALSE(doc.has("missing"));
    EXPECT_FALSE(list.has("k"));
    EXPECT_EQ(doc.get("k").asFloat(7.0f), 7.0f);
    EXPECT_EQ(doc.size(), 4u);  // lookups never create members
}

TEST(JsonValue, NumbersConvertOnlyFromNumbers) {
    // asInt truncates toward zero; anything outside int32 is INT32_MIN.
    // clang-format off
    const std::pair<double, int32_t> ints[] = {
        {2.9, 2}, {-2.9, -2}, {-0.5, 0}, {3e10, kIntMin}, {-3e10, kIntMin},
        {2147483647.0, 2147483647}, {2147483647.9, 2147483647}, {2147483648.0, kIntMin},
        {-2147483648.9, kIntMin}, {-2147483649.0, kIntMin}, {-2147483647.9, -2147483647},
        {kInf, kIntMin}, {-kInf, kIntMin}, {std::nan(""), kIntMin}};
    // clang-format on
    for (const auto& [number, expected] : ints) {
        EXPECT_EQ(Number(number).asInt(5), expected) << number;
    }
    // asFloat rounds to nearest, ties to even.
    const double tie = 1.0 + 0x1p-24;  // halfway between 1 and the next float
    // clang-format off
    const std::pair<double, float> floats[] = {
        {0.1, 0.1f}, {16777217.0, 16777216.0f}, {16777219.0, 16777220.0f},
        {std::nextafter(tie, 0.0), 1.0f}, {tie, 1.0f}, {std::nextafter(tie, 2.0), 1.0f + 0x1p-23f},
        {1e300, std::numeric_limits<float>::infinity()}, {1e-50, 0.0f}};
    // clang-format on
    for (const auto& [number, expected] : floats) {
        EXPECT_EQ(Number(number).asFloat(1), expected) << number;
    }
    EXPECT_TRUE(std::signbit(Number(-0.0).asFloat(1)));
    EXPECT_TRUE(std::isnan(Number(std::nan("")).asFloat(1)));
    for (const char* text : {"\"3\"", "true", "null", "[3]"}) {
        EXPECT_EQ(ParseJson(text).asInt(5), 5) << text;
        EXPECT_EQ(ParseJson(text).asFloat(2.5f), 2.5f) << text;
    }
    EXPECT_EQ(ParseJson("2").asStringView("x"), "x");  // nor strings from anything else
}

// (That a repeated key keeps its first place and its last value shows in
// what the reader tests print.)
TEST(JsonValue, LookupsFindTheLastValueInCopiesAndMoves) {
    // Large enough for the lookup index, with repeated keys and keys that
    // differ only after an embedded NUL.
    std::string text = "{";
    for (int i = 0; i < 10000; ++i) {
        text += "\"m" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    }
    for (int i = 0; i < 10000; i += 7) {
        text += "\"m" + std::to_string(i) + "\":\"again\",";
    }
    static const char kTail[] = "\"a\0b\":1,\"a\0c\":2,\"a\":3}";
    text.append(kTail, sizeof kTail - 1);
    JsonValue original = ParseJson(text);
    ASSERT_EQ(original.size(), 10003u);
    JsonValue copy = original;
    JsonValue moved = std::move(original);
    original = ParseJson("{}");
    for (const JsonValue* v : {&copy, &moved}) {
        for (int i = 0; i < 10000; ++i) {
            const JsonValue& member = v->get("m" + std::to_string(i));
            if (i % 7 == 0 ? member.asString("") != "again" : member.asInt(-1) != i) {
                ADD_FAILURE() << "member m" << i;
            }
        }
        EXPECT_FALSE(v->has("m10000"));
        EXPECT_EQ(v->get(std::string("a\0b", 3)).asInt(0), 1);
        EXPECT_EQ(v->get(std::string("a\0c", 3)).asInt(0), 2);
        EXPECT_EQ(v->get("a").asInt(0), 3);
        EXPECT_FALSE(v->has(std::string("a\0", 2)));
    }
    EXPECT_FALSE(original.has("m1"));
}

}  // namespace
