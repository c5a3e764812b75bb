// One broken file per finding: each must give its code at its position, and
// nothing else. The expectations sit beside the files in expected.tsv.
#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

// Lint arguments -> the findings they must give, as "code file:line:column".
std::map<std::string, std::vector<std::string>> ReadExpectations() {
    std::map<std::string, std::vector<std::string>> cases;
    std::ifstream in(kCases + "/expected.tsv");
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> f = Split(line, '\t');
        if (!line.empty() && line[0] != '#') {
            EXPECT_EQ(f.size(), 5u) << "bad line in expected.tsv: " << line;
            cases[f.at(4)].push_back(f[0] + " " + f[1] + ":" + f[2] + ":" + f[3]);
        }
    }
    return cases;
}

// Every code the documentation lists has a case, and every code a case
// gives is documented: the list in docs/lint.md is the stable set.
TEST(LintCases, EachBrokenFileGivesItsFindingAtItsPositionAndEachCodeIsDocumented) {
    std::map<std::string, std::vector<std::string>> cases = ReadExpectations();
    ASSERT_GE(cases.size(), 40u);
    std::set<std::string> tested;
    for (auto& [args, expected] : cases) {
        std::vector<std::string> paths;
        for (const std::string& name : Split(args, ' ')) {
            paths.push_back(kCases + "/" + name);
        }
        std::vector<std::string> found;
        for (const Finding& f : LintFiles(paths)) {
            EXPECT_FALSE(f.message.empty()) << f.code;
            tested.insert(f.code);
            found.push_back(f.code + " " + f.file.substr(kCases.size() + 1) + ":" +
                            std::to_string(f.line) + ":" + std::to_string(f.column));
        }
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected) << args;
    }
    std::set<std::string> documented;
    std::ifstream doc(std::string(KIVANIME_SOURCE_DIR) + "/docs/lint.md");
    for (std::string line; std::getline(doc, line);) {
        // Each code has a heading of its own: ### `code`
        if (line.rfind("### `", 0) == 0 && line.size() > 6) {
            documented.insert(line.substr(5, line.find('`', 5) - 5));
        }
    }
    EXPECT_EQ(documented, tested);
}

}  // namespace
