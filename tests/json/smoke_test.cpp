#include <gtest/gtest.h>

#include "json/json_parser.h"

TEST(JsonSmoke, Parses) {
    EXPECT_TRUE(kivanime::ParseJson("{}").isObject());
}
