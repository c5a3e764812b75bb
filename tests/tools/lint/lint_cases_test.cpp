// One broken file per finding: each must give its code at its position, and
// nothing else. The expectations sit beside the files in expected*.tsv.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lint.h"
#include "support/scratch_dir.h"

namespace {

// Every code the documentation lists has a case, and every code a case
// gives is documented: the list in docs/lint.md is the stable set.
TEST(LintCases, EachBrokenFileGivesItsFindingAtItsPositionAndEachCodeIsDocumented) {
    const std::string folder = std::string(KIVANIME_LINT_CASES) + "/";
    // Lint arguments -> the findings they must give, as "code file:line:column".
    // Each group of findings keeps its rows in a file of its own: expected*.tsv.
    std::map<std::string, std::multiset<std::string>> cases;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        std::ifstream tsv(name.starts_with("expected") && name.ends_with(".tsv") ? entry.path()
                                                                                 : "");
        for (std::string line, code, file, row, column, args; std::getline(tsv, line);) {
            std::istringstream in(line);
            if (line[0] != '#' &&
                std::getline(in >> code >> file >> row >> column >> std::ws, args)) {
                cases[args].insert(code + " " + file + ":" + row + ":" + column);
            }
        }
    }
    ASSERT_GE(cases.size(), 40u);
    std::set<std::string> tested;
    for (const auto& [args, expected] : cases) {
        std::vector<std::string> paths;
        std::istringstream names(args);
        for (std::string name; names >> name;) {
            paths.push_back(folder + name);
        }
        std::multiset<std::string> found;
        for (const kivanime::lint::Finding& f : kivanime::lint::LintFiles(paths)) {
            tested.insert(f.code);
            found.insert(f.code + " " + f.file.substr(folder.size()) + ":" +
                         std::to_string(f.line) + ":" + std::to_string(f.column));
        }
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

// The messages quote what the loaders' key tables say applies: defaults of
// numbers, pairs and rectangles, element defaults, string fallbacks and the
// canvas's two members; a file's kind comes from a key only that kind has.
TEST(LintCases, MessagesQuoteTheKeyTablesDefaults) {
    const struct {
        const char* json;
        std::vector<std::string> messages;
    } rows[] = {
        {R"({"name": 1, "version": "2", "canvas": {"width": "x"}, "parts": [{"anchor": ["a", 1],
            "srcRect": [1], "scale": true}], "physics": [{"gravity": 1, "stiffness": "s"}]})",
         {"the model is named \"unnamed\"", "version 1 applies",
          "\"width\" of \"canvas\" is a string, not a number: 1024 applies",
          "element 1 of \"anchor\" of part #1 is a string, not a number: 0.5 applies",
          "needs 4: (0, 0, 0, 0) applies", "two numbers: (1, 1) applies", "(0, 0.5) applies",
          "0.3 applies"}},
        {R"({"canvas": 3})", {"not an object: a 1024 x 1024 canvas applies"}},
        {R"({"duration": "x", "tracks": [{"part": "p", "keyframes": [{"time": "t", "easing": 1,
            "scale": [2, "y"]}]}]})",
         {"1000 ms applies", "time 0 applies", "not a string: linear applies",
          "of the motion is a string, not a number: 1 applies"}},
        {R"({"blendMs": "x", "params": [{"position": ["a", 1], "rotation": "r"}]})",
         {"200 ms applies",
          "element 1 of \"position\" of parameter #1 of the expression is a "
          "string, not a number: 0 applies",
          "the rotation target is 0"}},
        {R"({"parameters": [{"name": "a", "min": "x", "max": null, "default": []}], "bindings":
            [{"part": 1, "parameters": "a", "keys": [{"alpha": "x", "scale": [2, "y"]}]}]})",
         {"\"min\" of parameter \"a\" is a string, not a number: 0 applies",
          "\"max\" of parameter \"a\" is null, which counts as absent: 1 applies",
          "an array, not a number: the default is the minimum",
          "is a number, not a string: the binding moves no part",
          "is a string, not an array: the binding follows no parameter",
          "\"alpha\" of key 1 of binding 1 is a string, not a number: 1 applies",
          "element 2 of \"scale\" of key 1 of binding 1 is a string, not a number: 1 applies"}},
        {R"({"name": "x"})", {"cannot tell whether this is a model, motion or expression file"}},
        {R"({"name": 1, "blendMs": 1})", {"\"name\" of the expression is a number"}},
    };
    const kivanime::test::ScratchDir scratch("kivanime_lint_messages");
    for (const auto& row : rows) {
        const std::string path = scratch.Write("file.json", row.json);
        std::string out = kivanime::lint::FormatText(kivanime::lint::LintFiles({path}));
        for (const std::string& message : row.messages) {
            EXPECT_NE(out.find(message), std::string::npos) << message << " in\n" << out;
        }
    }
}

}  // namespace
