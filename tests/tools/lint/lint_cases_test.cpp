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

// Every code the documentation lists has a case, and every code a case
// gives is documented: the list in docs/lint.md is the stable set.
TEST(LintCases, EachBrokenFileGivesItsFindingAtItsPositionAndEachCodeIsDocumented) {
    const std::string folder = std::string(KIVANIME_LINT_CASES) + "/";
    // Lint arguments -> the findings they must give, as "code file:line:column".
    std::map<std::string, std::vector<std::string>> cases;
    std::ifstream tsv(folder + "expected.tsv");
    for (std::string line, code, file, row, column, args; std::getline(tsv, line);) {
        std::istringstream in(line);
        if (line[0] != '#' && std::getline(in >> code >> file >> row >> column >> std::ws, args)) {
            cases[args].push_back(code + " " + file + ":" + row + ":" + column);
        }
    }
    ASSERT_GE(cases.size(), 40u);
    std::set<std::string> tested;
    for (auto& [args, expected] : cases) {
        std::vector<std::string> paths;
        std::istringstream names(args);
        for (std::string name; names >> name;) {
            paths.push_back(folder + name);
        }
        std::vector<std::string> found;
        for (const kivanime::lint::Finding& f : kivanime::lint::LintFiles(paths)) {
            tested.insert(f.code);
            found.push_back(f.code + " " + f.file.substr(folder.size()) + ":" +
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
