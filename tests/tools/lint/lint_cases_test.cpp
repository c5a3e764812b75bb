// One broken file per finding: each must give its code at its position, and
// nothing else. The expectations sit beside the files in expected.tsv.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lint.h"

namespace {

using kivanime::lint::Finding;
using kivanime::lint::LintFiles;

const std::string kCases = KIVANIME_LINT_CASES;

struct Expected {
    std::string code;
    std::string file;
    size_t line = 0;
    size_t column = 0;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

// Lint arguments -> the findings they must give.
std::map<std::string, std::vector<Expected>> ReadExpectations() {
    std::map<std::string, std::vector<Expected>> cases;
    std::ifstream in(kCases + "/expected.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> fields = Split(line, '\t');
        if (fields.size() != 5) {
            ADD_FAILURE() << "bad line in expected.tsv: " << line;
            continue;
        }
        cases[fields[4]].push_back(Expected{fields[0], kCases + "/" + fields[1],
                                            std::stoul(fields[2]), std::stoul(fields[3])});
    }
    return cases;
}

std::string Describe(const std::vector<Finding>& findings) {
    std::string out;
    for (const Finding& f : findings) {
        out += "  " + f.file + ":" + std::to_string(f.line) + ":" + std::to_string(f.column) + " " +
               f.code + ": " + f.message + "\n";
    }
    return out;
}

TEST(LintCases, EachBrokenFileGivesItsFindingAtItsPosition) {
    std::map<std::string, std::vector<Expected>> cases = ReadExpectations();
    ASSERT_GE(cases.size(), 40u);
    for (const auto& [args, expected] : cases) {
        SCOPED_TRACE(args);
        std::vector<std::string> paths;
        for (const std::string& name : Split(args, ' ')) {
            paths.push_back(kCases + "/" + name);
        }
        std::vector<Finding> findings = LintFiles(paths);
        EXPECT_EQ(findings.size(), expected.size()) << Describe(findings);
        for (const Expected& e : expected) {
            bool found = false;
            for (const Finding& f : findings) {
                found = found || (f.code == e.code && f.file == e.file && f.line == e.line &&
                                  f.column == e.column && !f.message.empty());
            }
            EXPECT_TRUE(found) << "expected " << e.code << " at " << e.line << ":" << e.column
                               << ", got:\n"
                               << Describe(findings);
        }
    }
}

// Every code the documentation lists has a case, and every code a case gives
// is documented: the list in docs/lint.md is the stable set.
TEST(LintCases, DocumentedCodesAndCasesAgree) {
    std::set<std::string> documented;
    std::ifstream doc(std::string(KIVANIME_SOURCE_DIR) + "/docs/lint.md");
    ASSERT_TRUE(doc.good());
    std::string line;
    while (std::getline(doc, line)) {
        // Each code has a heading of its own: ### `code`
        if (line.rfind("### `", 0) == 0 && line.size() > 6) {
            documented.insert(line.substr(5, line.find('`', 5) - 5));
        }
    }
    std::set<std::string> tested;
    for (const auto& [args, expected] : ReadExpectations()) {
        for (const Expected& e : expected) {
            tested.insert(e.code);
        }
    }
    EXPECT_EQ(documented, tested);
}

TEST(LintCases, SuggestionsNameTheClosestKnownWord) {
    std::vector<Finding> key = LintFiles({kCases + "/unknown_key.json"});
    ASSERT_EQ(key.size(), 1u);
    EXPECT_NE(key[0].message.find("did you mean \"position\""), std::string::npos)
        << key[0].message;
    std::vector<Finding> easing =
        LintFiles({kCases + "/base_model.json", kCases + "/unknown_easing.json"});
    ASSERT_EQ(easing.size(), 1u);
    EXPECT_NE(easing[0].message.find("did you mean \"ease_in\""), std::string::npos)
        << easing[0].message;
}

}  // namespace
