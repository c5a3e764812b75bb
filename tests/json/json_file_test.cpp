// Files are read whole and byte for byte: no newline or end-of-file
// translation, and no limit from the read buffer. (Missing, empty and marked
// files are checked through Anime_LoadModel.)
#include "json/json_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scratch_dir.h"

namespace {

TEST(JsonFile, BytesAreReadUntranslatedAndWhole) {
    const kivanime::test::ScratchDir scratch("kivanime-JsonFile");
    std::string bytes = "{\"text\":\"a\r\nb\x1A\",\"raw\":\"x";
    bytes.push_back('\0');
    bytes += "y\",\"list\":[";
    for (int i = 0; i < 30000; ++i) {
        bytes += std::to_string(i) + ",";
    }
    bytes += "\"end\"]}\r\n";
    const kivanime::JsonValue v = kivanime::ReadJsonFile(scratch.Write("bytes.json", bytes));
    EXPECT_EQ(v.get("text").asString(""), "a\r\nb\x1A");
    EXPECT_EQ(v.get("raw").asString(""), std::string("x\0y", 3));
    // Far larger than one read buffer, with the last element at the very end.
    ASSERT_EQ(v.get("list").size(), 30001u);
    EXPECT_EQ(v.get("list").at(29999).asInt(0), 29999);
    EXPECT_EQ(v.get("list").at(30000).asString(""), "end");
}

}  // namespace
