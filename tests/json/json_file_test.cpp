#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "json/json_file.h"

namespace {

namespace fs = std::filesystem;
using kivanime::ReadJsonFile;

class JsonFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        dir_ = fs::temp_directory_path() /
               ("kivanime_json_file_" + std::to_string(seed()) + "_" + std::to_string(seed()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string write(const std::string& name, const std::string& bytes) {
        fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    fs::path dir_;
};

TEST_F(JsonFile, UnreadableEmptyAndMarkedFilesGiveNull) {
    EXPECT_TRUE(ReadJsonFile((dir_ / "missing.json").string()).isNull());
    EXPECT_TRUE(ReadJsonFile(dir_.string()).isNull());  // a folder
    EXPECT_TRUE(ReadJsonFile("").isNull());
    EXPECT_TRUE(ReadJsonFile(write("empty.json", "")).isNull());
    EXPECT_TRUE(ReadJsonFile(write("bom.json", "\xEF\xBB\xBF{\"a\":1}")).isNull());
    EXPECT_TRUE(ReadJsonFile(write("plain.json", "{\"a\":1}")).isObject());
}

TEST_F(JsonFile, BytesAreReadUntranslated) {
    std::string bytes = "{\"text\":\"a\r\nb\x1A\",\"raw\":\"x";
    bytes.push_back('\0');
    bytes += "y\"}\r\n";
    kivanime::JsonValue v = ReadJsonFile(write("crlf.json", bytes));
    EXPECT_EQ(v.get("text").asString(""), "a\r\nb\x1A");
    EXPECT_EQ(v.get("raw").asString(""), std::string("x\0y", 3));
}

TEST_F(JsonFile, LargeFilesAreReadWhole) {
    // Far larger than one read buffer, with the last element at the very end.
    std::string bytes = "[";
    for (int i = 0; i < 30000; ++i) {
        bytes += std::to_string(i) + ",";
    }
    bytes += "\"end\"]";
    kivanime::JsonValue v = ReadJsonFile(write("large.json", bytes));
    ASSERT_EQ(v.size(), 30001u);
    EXPECT_EQ(v.at(29999).asInt(0), 29999);
    EXPECT_EQ(v.at(30000).asString(""), "end");
}

}  // namespace
