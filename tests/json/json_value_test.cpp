#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "json/json_parser.h"
#include "json/json_value.h"

namespace {

using kivanime::JsonNull;
using kivanime::JsonObject;
using kivanime::JsonType;
using kivanime::JsonValue;
using kivanime::ParseJson;

constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();

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

    EXPECT_EQ(&list.get("0"), &JsonNull());
    EXPECT_EQ(&doc.get("missing"), &JsonNull());
    EXPECT_EQ(&list.at(5), &JsonNull());
    EXPECT_EQ(&list.at(3), &JsonNull());
    EXPECT_EQ(&list.at(uint64_t{1} << 32), &JsonNull());  // not wrapped to 0
    EXPECT_EQ(&list.at(std::numeric_limits<uint64_t>::max()), &JsonNull());
    EXPECT_EQ(&doc.at(0), &JsonNull());
    EXPECT_EQ(&doc.get("missing").get("deeper").at(2), &JsonNull());
    EXPECT_EQ(list.at(2).asInt(0), 3);
    EXPECT_TRUE(JsonNull().isNull());
    EXPECT_EQ(JsonNull().size(), 0u);

    EXPECT_EQ(doc.size(), 4u);
    EXPECT_EQ(doc.get("text").size(), 0u);
    EXPECT_EQ(doc.get("n").size(), 0u);
    EXPECT_EQ(JsonValue{}.size(), 0u);

    // A member whose value is null exists, but reads as every default.
    EXPECT_TRUE(doc.has("k"));
    EXPECT_FALSE(doc.has("missing"));
    EXPECT_FALSE(list.has("k"));
    EXPECT_EQ(doc.get("k").asFloat(7.0f), 7.0f);
    // Lookups never create members.
    EXPECT_EQ(doc.size(), 4u);
}

TEST(JsonValue, AsIntTruncatesTowardZero) {
    const std::pair<double, int32_t> cases[] = {
        {2.9, 2},
        {-2.9, -2},
        {-0.5, 0},
        {3e10, kIntMin},
        {-3e10, kIntMin},
        {2147483647.0, 2147483647},
        {2147483647.9, 2147483647},
        {2147483648.0, kIntMin},
        {-2147483648.9, kIntMin},  // truncates to -2147483648, which fits
        {-2147483649.0, kIntMin},
        {std::numeric_limits<double>::infinity(), kIntMin},
        {-std::numeric_limits<double>::infinity(), kIntMin},
        {std::numeric_limits<double>::quiet_NaN(), kIntMin},
    };
    for (const auto& [number, expected] : cases) {
        EXPECT_EQ(Number(number).asInt(5), expected) << number;
    }
    EXPECT_EQ(Number(-2147483647.9).asInt(5), -2147483647);
    EXPECT_EQ(ParseJson("-nan").asInt(5), kIntMin);
    // No conversion between kinds.
    EXPECT_EQ(ParseJson("\"3\"").asInt(5), 5);
    EXPECT_EQ(ParseJson("true").asInt(5), 5);
    EXPECT_EQ(ParseJson("null").asInt(5), 5);
    EXPECT_EQ(ParseJson("[3]").asInt(5), 5);
}

TEST(JsonValue, AsFloatRoundsToNearest) {
    EXPECT_EQ(Number(0.1).asFloat(0), 0.1f);
    EXPECT_EQ(Number(16777217.0).asFloat(0), 16777216.0f);  // tie to even
    EXPECT_EQ(Number(16777219.0).asFloat(0), 16777220.0f);
    const double tie = 1.0 + 0x1p-24;  // halfway between 1 and the next float
    EXPECT_EQ(Number(std::nextafter(tie, 0.0)).asFloat(0), 1.0f);
    EXPECT_EQ(Number(tie).asFloat(0), 1.0f);
    EXPECT_EQ(Number(std::nextafter(tie, 2.0)).asFloat(0), 1.0f + 0x1p-23f);
    EXPECT_EQ(Number(1e300).asFloat(0), std::numeric_limits<float>::infinity());
    EXPECT_EQ(Number(1e-50).asFloat(1), 0.0f);
    EXPECT_TRUE(std::signbit(Number(-0.0).asFloat(1)));
    EXPECT_TRUE(std::isnan(Number(std::nan("")).asFloat(1)));
    EXPECT_EQ(ParseJson("\"1.5\"").asFloat(2.5f), 2.5f);
    EXPECT_EQ(ParseJson("true").asFloat(2.5f), 2.5f);
}

TEST(JsonValue, AsBoolAndAsStringDoNotConvert) {
    EXPECT_TRUE(ParseJson("true").asBool(false));
    EXPECT_FALSE(ParseJson("false").asBool(true));
    EXPECT_FALSE(ParseJson("tru").asBool(true));  // a Bool false
    EXPECT_TRUE(ParseJson("1").asBool(true));
    EXPECT_FALSE(ParseJson("1").asBool(false));
    EXPECT_FALSE(ParseJson("\"true\"").asBool(false));
    EXPECT_TRUE(ParseJson("null").asBool(true));

    const std::string fallback = "fallback";
    JsonValue text = ParseJson("\"abc\"");
    EXPECT_EQ(&text.asString(fallback), &text.text);  // a reference, not a copy
    EXPECT_EQ(text.asString(fallback), "abc");
    EXPECT_EQ(&ParseJson("1").asString(fallback), &fallback);
    EXPECT_EQ(ParseJson("null").asString(fallback), "fallback");
    EXPECT_EQ(ParseJson("[\"a\"]").asString(fallback), "fallback");
    EXPECT_EQ(ParseJson("\"\"").asStringView("x"), "");
    EXPECT_EQ(ParseJson("2").asStringView("x"), "x");
}

TEST(JsonValue, MembersKeepTheirFirstPositionAndLastValue) {
    JsonValue doc = ParseJson(R"({"b":1,"a":2,"c":3,"b":4})");
    ASSERT_EQ(doc.size(), 3u);
    EXPECT_EQ(doc.members.keyAt(0), "b");
    EXPECT_EQ(doc.members.keyAt(1), "a");
    EXPECT_EQ(doc.members.keyAt(2), "c");
    EXPECT_EQ(doc.members.valueAt(0).asInt(0), 4);
    EXPECT_EQ(doc.get("b").asInt(0), 4);
}

TEST(JsonValue, LargeParsedObjectsCopyAndMoveWithTheirIndex) {
    std::string text = "{";
    for (int i = 0; i < 10000; ++i) {
        text += "\"m" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    }
    for (int i = 0; i < 10000; i += 7) {
        text += "\"m" + std::to_string(i) + "\":\"again\",";
    }
    // Keys compare by all their bytes, an embedded NUL included.
    static const char kTail[] = "\"a\0b\":1,\"a\0c\":2,\"a\":3}";
    text.append(kTail, sizeof kTail - 1);
    JsonValue original = ParseJson(text);
    ASSERT_EQ(original.size(), 10003u);

    JsonValue copy = original;
    JsonValue moved = std::move(original);
    original = ParseJson("{}");
    for (const JsonValue* doc : {&copy, &moved}) {
        for (int i = 0; i < 10000; ++i) {
            const JsonValue& member = doc->get("m" + std::to_string(i));
            if (i % 7 == 0) {
                EXPECT_EQ(member.asString(""), "again") << i;
            } else {
                EXPECT_EQ(member.asInt(-1), i) << i;
            }
        }
        EXPECT_FALSE(doc->has("m10000"));
        EXPECT_EQ(doc->get(std::string("a\0b", 3)).asInt(0), 1);
        EXPECT_EQ(doc->get(std::string("a\0c", 3)).asInt(0), 2);
        EXPECT_EQ(doc->get("a").asInt(0), 3);
        EXPECT_FALSE(doc->has(std::string("a\0", 2)));
    }
    EXPECT_EQ(original.size(), 0u);
    EXPECT_FALSE(original.has("m1"));
}

}  // namespace
