// kivanime-lint as a user runs it: exit status, the two output forms, and
// the sample puppets, which must lint clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "json/json_parser.h"
#include "lint.h"
#include "support/run_program.h"

namespace {

namespace fs = std::filesystem;
using kivanime::lint::Finding;
using kivanime::lint::LintFiles;

const std::string kCases = std::string(KIVANIME_LINT_CASES) + "/";
const std::string kExamples = std::string(KIVANIME_SOURCE_DIR) + "/examples/";

kivanime::test::ProgramRun RunLint(const std::vector<std::string>& args) {
    // A folder per test: ctest runs the tests of this program side by side.
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    return kivanime::test::RunProgram(KIVANIME_LINT_EXE, args,
                                      fs::path(testing::TempDir()) / ("kivanime_lint_" + test));
}

TEST(LintProgram, ExitStatusFollowsSeverityAndStrict) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* output;  // a part of what it prints
    };
    const Case cases[] = {
        {{kCases + "base_model.json"}, 0, "no findings\n"},
        // A warning passes, unless --strict.
        {{kCases + "unknown_key.json"}, 0, "[unknown-key]\n0 errors, 1 warning, 0 infos\n"},
        {{"--strict", kCases + "unknown_key.json"}, 1, "unknown_key.json:4:19: warning: "},
        {{kCases + "wrong_type.json"}, 1, "[wrong-type]\n1 error, 0 warnings, 0 infos\n"},
        // Suggestions name the closest known word.
        {{kCases + "unknown_key.json"}, 0, "did you mean \"position\""},
        {{kCases + "base_model.json", kCases + "unknown_easing.json"},
         1,
         "(did you mean \"ease_in"},
        {{}, 2, ""},
        {{"--frobnicate", "x.json"}, 2, ""},
    };
    for (const Case& c : cases) {
        const kivanime::test::ProgramRun run = RunLint(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out;
        EXPECT_NE(run.out.find(c.output), std::string::npos) << run.out;
    }
}

TEST(LintProgram, JsonOutputReadsBackWithTheLibrarysReader) {
    // Bytes of a file that are not UTF-8 do not make the output invalid.
    const std::string badUtf8 = testing::TempDir() + "/lint_bad_utf8.json";
    std::ofstream(badUtf8, std::ios::binary) << "{\"parts\": [], \"k\xFF\": 1}";
    const kivanime::test::ProgramRun run = RunLint(
        {"--json", kCases + "json_control_character.json", kCases + "wrong_type.json", badUtf8});
    EXPECT_EQ(run.exitCode, 1);
    kivanime::JsonDiagnostics diagnostics;
    const kivanime::JsonValue root = kivanime::ParseJson(run.out, &diagnostics);
    EXPECT_TRUE(diagnostics.issues.empty()) << run.out;
    const kivanime::JsonValue& findings = root.get("findings");
    ASSERT_EQ(findings.size(), 3u) << run.out;
    EXPECT_EQ(findings.at(0).get("code").text, "json-control-character");
    EXPECT_EQ(findings.at(0).get("severity").text, "warning");
    EXPECT_EQ(findings.at(0).get("line").number, 1.0);
    EXPECT_EQ(findings.at(0).get("column").number, 25.0);
    EXPECT_EQ(findings.at(1).get("code").text, "wrong-type");
    EXPECT_EQ(findings.at(1).get("file").text, kCases + "wrong_type.json");
    EXPECT_NE(findings.at(1).get("message").text.find("\"visible\""), std::string::npos);
    EXPECT_NE(findings.at(2).get("message").text.find("\"k\xEF\xBF\xBD\""), std::string::npos);
    EXPECT_EQ(root.get("errors").number, 1.0);
    EXPECT_EQ(root.get("warnings").number, 2.0);
    EXPECT_EQ(root.get("infos").number, 0.0);
    fs::remove(badUtf8);
}

TEST(LintProgram, SamplePuppetsLintClean) {
    std::vector<std::string> hero = {kExamples + "hero/model.json"};
    for (const char* folder : {"hero/motions", "hero/expressions"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(kExamples + folder)) {
            hero.push_back(entry.path().string());
        }
    }
    ASSERT_GT(hero.size(), 5u);
    std::string listed;
    for (const Finding& f : LintFiles(hero)) {
        listed += f.file + ":" + std::to_string(f.line) + " " + f.code + ": " + f.message + "\n";
    }
    EXPECT_EQ(listed, "");

    // The minimal example's host draws nothing from disk, so its textures
    // have no files: that is the only thing to report.
    const std::vector<Finding> minimal = LintFiles({kExamples + "minimal/model.json"});
    EXPECT_EQ(kivanime::lint::ExitCodeFor(minimal, false), 0);
    for (const Finding& f : minimal) {
        EXPECT_EQ(f.code, "texture-file-missing") << f.message;
    }
    kivanime::lint::LintOptions options;
    options.checkTextureFiles = false;
    EXPECT_TRUE(LintFiles({kExamples + "minimal/model.json"}, options).empty());
}

}  // namespace
