// The public parsing corpus: every valid text must read to exactly the value
// a strict parser reads (compared in the corpus's canonical text form), and
// every text, valid or not, must read without a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "json/json_file.h"
#include "json/json_parser.h"
#include "support/cannot_run.h"

namespace {

namespace fs = std::filesystem;
using kivanime::JsonType;
using kivanime::JsonValue;

const fs::path kCorpusDir = fs::path(KIVANIME_SHARED_DIR) / "json-test-suite";

// The reader keeps UTF-8 bytes with every \u escape encoded on its own, so a
// surrogate half appears as its own 3-byte sequence and is taken back as that
// code unit; a 4-byte sequence becomes a surrogate pair.
std::u16string ToUtf16Units(const std::string& bytes) {
    std::u16string units;
    size_t i = 0;
    size_t n = bytes.size();
    auto cont = [&](size_t k) {
        return i + k < n && (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
    };
    auto low6 = [&](size_t k) { return static_cast<uint32_t>(bytes[i + k]) & 0x3F; };
    while (i < n) {
        uint32_t b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            units.push_back(static_cast<char16_t>(b));
            i += 1;
        } else if (b >= 0xC0 && b < 0xE0 && cont(1)) {
            units.push_back(static_cast<char16_t>(((b & 0x1F) << 6) | low6(1)));
            i += 2;
        } else if (b >= 0xE0 && b < 0xF0 && cont(1) && cont(2)) {
            units.push_back(static_cast<char16_t>(((b & 0x0F) << 12) | (low6(1) << 6) | low6(2)));
            i += 3;
        } else if (b >= 0xF0 && b < 0xF8 && cont(1) && cont(2) && cont(3)) {
            uint32_t cp = ((b & 0x07) << 18) | (low6(1) << 12) | (low6(2) << 6) | low6(3);
            cp -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            i += 4;
        } else {
            units.push_back(u'\uFFFD');  // not expected in valid texts
            i += 1;
        }
    }
    return units;
}

void CanonicalString(const std::u16string& units, std::string& out) {
    char buffer[8];
    out += "s:";
    for (char16_t unit : units) {
        std::snprintf(buffer, sizeof buffer, "%04x", static_cast<unsigned>(unit));
        out += buffer;
    }
}

void Canonical(const JsonValue& v, std::string& out) {
    switch (v.type) {
        case JsonType::Null:
            out += "null";
            return;
        case JsonType::Bool:
            out += v.boolValue ? "true" : "false";
            return;
        case JsonType::Number: {
            uint64_t bits;
            std::memcpy(&bits, &v.number, sizeof bits);
            char buffer[24];
            std::snprintf(buffer, sizeof buffer, "n:%016" PRIx64, bits);
            out += buffer;
            return;
        }
        case JsonType::String:
            CanonicalString(ToUtf16Units(v.text), out);
            return;
        case JsonType::Array:
            out += '[';
            for (size_t i = 0; i < v.elements.size(); ++i) {
                if (i > 0) {
                    out += ',';
                }
                Canonical(v.elements[i], out);
            }
            out += ']';
            return;
        case JsonType::Object: {
            std::vector<std::pair<std::u16string, size_t>> keys;
            for (size_t i = 0; i < v.members.size(); ++i) {
                keys.emplace_back(ToUtf16Units(v.members.keyAt(i)), i);
            }
            std::sort(keys.begin(), keys.end());
            out += '{';
            for (size_t i = 0; i < keys.size(); ++i) {
                if (i > 0) {
                    out += ',';
                }
                CanonicalString(keys[i].first, out);
                out += ':';
                Canonical(v.members.valueAt(keys[i].second), out);
            }
            out += '}';
            return;
        }
    }
}

std::map<std::string, std::string> ReadExpectedValues() {
    std::map<std::string, std::string> expected;
    std::ifstream in(kCorpusDir / "expected-values.tsv", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            expected[line.substr(0, tab)] = line.substr(tab + 1);
        }
    }
    return expected;
}

std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(kCorpusDir / "test_parsing")) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(JsonCorpus, ValidTextsReadToTheStrictValue) {
    if (!fs::is_directory(kCorpusDir / "test_parsing")) {
        KIVANIME_CANNOT_RUN_HERE() << "no corpus at " << kCorpusDir;
    }
    std::map<std::string, std::string> expected = ReadExpectedValues();
    ASSERT_FALSE(expected.empty());
    size_t valid = 0;
    for (const fs::path& path : CorpusFiles()) {
        std::string name = path.filename().string();
        if (name.rfind("y_", 0) != 0) {
            continue;
        }
        ++valid;
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << name << " has no expected value";
        std::string actual;
        Canonical(kivanime::ReadJsonFile(path.string()), actual);
        EXPECT_EQ(actual, it->second) << name;
    }
    EXPECT_EQ(valid, expected.size());
}

TEST(JsonCorpus, EveryTextReadsWithoutACrash) {
    if (!fs::is_directory(kCorpusDir / "test_parsing")) {
        KIVANIME_CANNOT_RUN_HERE() << "no corpus at " << kCorpusDir;
    }
    size_t read = 0;
    for (const fs::path& path : CorpusFiles()) {
        std::string bytes;
        ASSERT_TRUE(kivanime::ReadFileBytes(path.string(), bytes)) << path;
        JsonValue v = kivanime::ParseJson(bytes);
        // Walk the whole value, so that a sanitizer sees every part of it.
        std::string shown;
        Canonical(v, shown);
        EXPECT_FALSE(shown.empty()) << path;
        ++read;
    }
    EXPECT_GT(read, 300u);
}

}  // namespace
