// The public parsing corpus, kept in tests/data: every valid text must read to
// exactly the value a strict parser reads, compared in the corpus's canonical
// text form, with nothing to repair; broken structure is always repaired.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "json/json_diagnostics.h"
#include "json/json_file.h"
#include "json/json_parser.h"

namespace {

namespace fs = std::filesystem;
using kivanime::JsonType;
using kivanime::JsonValue;

const fs::path kCorpusDir = fs::path(KIVANIME_SOURCE_DIR) / "tests/data/json-test-suite";

// The canonical form of a string: its UTF-16 code units in hex. The reader
// keeps UTF-8 bytes with every \u escape encoded on its own, so a surrogate
// half appears as its own 3-byte sequence and is taken back as that unit; a
// 4-byte sequence becomes a surrogate pair. Valid texts hold nothing else.
std::string CanonicalString(const std::string& bytes) {
    std::string out = "s:";
    char buffer[8];
    auto unit = [&](uint32_t u) {
        std::snprintf(buffer, sizeof buffer, "%04x", static_cast<unsigned>(u));
        out += buffer;
    };
    for (size_t i = 0; i < bytes.size();) {
        const uint32_t b = static_cast<unsigned char>(bytes[i]);
        const size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        uint32_t cp = length == 1 ? b : b & (0x7Fu >> length);
        for (size_t k = 1; k < length && i + k < bytes.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3Fu);
        }
        i += length;
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

void Canonical(const JsonValue& v, std::string& out) {
    if (v.type == JsonType::Number) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "n:%016" PRIx64, std::bit_cast<uint64_t>(v.number));
        out += buffer;
    } else if (v.type == JsonType::String) {
        out += CanonicalString(v.text);
    } else if (v.isArray()) {
        out += '[';
        for (size_t i = 0; i < v.elements.size(); ++i) {
            out += i > 0 ? "," : "";
            Canonical(v.elements[i], out);
        }
        out += ']';
    } else if (v.isObject()) {
        // Members sorted by their canonical key (UTF-16 order).
        std::map<std::string, size_t> keys;
        for (size_t i = 0; i < v.members.size(); ++i) {
            keys.emplace(CanonicalString(v.members.keyAt(i)), i);
        }
        out += '{';
        for (const auto& [key, index] : keys) {
            out += (out.back() == '{' ? "" : ",") + key + ":";
            Canonical(v.members.valueAt(index), out);
        }
        out += '}';
    } else {
        out += v.type == JsonType::Null ? "null" : v.boolValue ? "true" : "false";
    }
}

TEST(JsonCorpus, ValidTextsReadToTheStrictValue) {
    std::map<std::string, std::string> expected;
    std::ifstream in(kCorpusDir / "expected-values.tsv", std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        line.erase(line.find_last_not_of('\r') + 1);
        if (const size_t tab = line.find('\t'); tab != std::string::npos) {
            expected[line.substr(0, tab)] = line.substr(tab + 1);
        }
    }
    ASSERT_FALSE(expected.empty());
    size_t valid = 0;
    size_t files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kCorpusDir / "test_parsing")) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        std::string text;
        ASSERT_TRUE(kivanime::ReadFileBytes(entry.path().string(), text));
        kivanime::JsonDiagnostics diagnostics;
        const JsonValue value = kivanime::ParseJson(text, &diagnostics);
        ++files;
        // Other n_ files need not be repaired: a lone surrogate or an
        // overlong byte is kept as it is.
        if (name.rfind("n_structure_", 0) == 0) {
            EXPECT_FALSE(diagnostics.issues.empty());
        }
        if (name.rfind("y_", 0) != 0) {
            continue;
        }
        ++valid;
        // A repeated key is valid, but noted.
        for (const kivanime::JsonIssue& issue : diagnostics.issues) {
            EXPECT_EQ(issue.kind, kivanime::JsonIssueKind::DuplicateKey) << "at " << issue.offset;
        }
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << name << " has no expected value";
        std::string actual;
        Canonical(value, actual);
        EXPECT_EQ(actual, it->second);
    }
    EXPECT_GT(files, 300u);
    EXPECT_EQ(valid, expected.size());
}

}  // namespace
