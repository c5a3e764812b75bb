// kivanime-lint as a user runs it: exit status, the two output forms, and
// the sample puppets, which must lint clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "json/json_parser.h"
#include "lint.h"
#include "support/cannot_run.h"
#include "support/run_program.h"

namespace {

namespace fs = std::filesystem;
using kivanime::lint::Finding;
using kivanime::lint::LintFiles;

const std::string kCases = KIVANIME_LINT_CASES;
const std::string kSource = KIVANIME_SOURCE_DIR;

kivanime::test::ProgramRun RunLint(const std::vector<std::string>& args) {
    // A folder per test: ctest runs the tests of this program side by side.
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    return kivanime::test::RunProgram(KIVANIME_LINT_EXE, args,
                                      fs::path(testing::TempDir()) / ("kivanime_lint_" + test));
}

std::vector<std::string> JsonFilesIn(const fs::path& folder) {
    std::vector<std::string> files;
    if (fs::is_directory(folder)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".json") {
                files.push_back(entry.path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(LintProgram, ExitStatusFollowsSeverityAndStrict) {
    kivanime::test::ProgramRun clean = RunLint({kCases + "/base_model.json"});
    EXPECT_EQ(clean.exitCode, 0);
    EXPECT_EQ(clean.out, "no findings\n");

    // A warning passes, unless --strict.
    EXPECT_EQ(RunLint({kCases + "/unknown_key.json"}).exitCode, 0);
    kivanime::test::ProgramRun strict = RunLint({"--strict", kCases + "/unknown_key.json"});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_NE(strict.out.find("unknown_key.json:4:19: warning: "), std::string::npos) << strict.out;
    EXPECT_NE(strict.out.find("[unknown-key]\n0 errors, 1 warning, 0 infos\n"), std::string::npos)
        << strict.out;

    EXPECT_EQ(RunLint({kCases + "/wrong_type.json"}).exitCode, 1);
    EXPECT_EQ(RunLint({}).exitCode, 2);
    EXPECT_EQ(RunLint({"--frobnicate", "x.json"}).exitCode, 2);
}

TEST(LintProgram, JsonOutputReadsBackWithTheLibrarysReader) {
    kivanime::test::ProgramRun run =
        RunLint({"--json", kCases + "/json_control_character.json", kCases + "/wrong_type.json"});
    EXPECT_EQ(run.exitCode, 1);
    kivanime::JsonDiagnostics diagnostics;
    kivanime::JsonValue root = kivanime::ParseJson(run.out, &diagnostics);
    EXPECT_TRUE(diagnostics.issues.empty()) << run.out;
    const kivanime::JsonValue& findings = root.get("findings");
    ASSERT_EQ(findings.size(), 2u) << run.out;
    EXPECT_EQ(findings.at(0).get("code").text, "json-control-character");
    EXPECT_EQ(findings.at(0).get("severity").text, "warning");
    EXPECT_EQ(findings.at(0).get("line").number, 1.0);
    EXPECT_EQ(findings.at(0).get("column").number, 25.0);
    EXPECT_EQ(findings.at(1).get("code").text, "wrong-type");
    EXPECT_EQ(findings.at(1).get("file").text, kCases + "/wrong_type.json");
    EXPECT_NE(findings.at(1).get("message").text.find("\"visible\""), std::string::npos);
    EXPECT_EQ(root.get("errors").number, 1.0);
    EXPECT_EQ(root.get("warnings").number, 1.0);
    EXPECT_EQ(root.get("infos").number, 0.0);

    // Bytes of the file that are not UTF-8 do not make the output invalid.
    std::string path = testing::TempDir() + "/lint_bad_utf8.json";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("{\"parts\": [], \"k\xFF\": 1}", f);
    std::fclose(f);
    kivanime::test::ProgramRun bad = RunLint({"--json", path});
    kivanime::JsonDiagnostics badDiagnostics;
    kivanime::JsonValue badRoot = kivanime::ParseJson(bad.out, &badDiagnostics);
    EXPECT_TRUE(badDiagnostics.issues.empty()) << bad.out;
    const std::string& message = badRoot.get("findings").at(0).get("message").text;
    EXPECT_NE(message.find("\"k\xEF\xBF\xBD\""), std::string::npos) << message;
    std::remove(path.c_str());
}

TEST(LintProgram, MinimalExampleIsCleanButForItsAbsentTextureFiles) {
    // The minimal example's host draws nothing from disk, so its textures
    // have no files: that is the only thing to report.
    std::vector<Finding> findings = LintFiles({kSource + "/examples/minimal/model.json"});
    EXPECT_EQ(kivanime::lint::ExitCodeFor(findings, false), 0);
    for (const Finding& f : findings) {
        EXPECT_EQ(f.code, "texture-file-missing") << f.message;
    }
    kivanime::lint::LintOptions options;
    options.checkTextureFiles = false;
    EXPECT_TRUE(LintFiles({kSource + "/examples/minimal/model.json"}, options).empty());
}

TEST(LintProgram, HeroPuppetLintsClean) {
    fs::path hero = fs::path(kSource) / "examples" / "hero";
    if (!fs::exists(hero / "model.json")) {
        KIVANIME_CANNOT_RUN_HERE() << "examples/hero is not there";
    }
    std::vector<std::string> files = {(hero / "model.json").string()};
    for (const char* folder : {"motions", "expressions"}) {
        std::vector<std::string> more = JsonFilesIn(hero / folder);
        files.insert(files.end(), more.begin(), more.end());
    }
    std::vector<Finding> findings = LintFiles(files);
    std::string listed;
    for (const Finding& f : findings) {
        listed += f.file + ":" + std::to_string(f.line) + ":" + std::to_string(f.column) + " " +
                  f.code + ": " + f.message + "\n";
    }
    EXPECT_TRUE(findings.empty()) << listed;
}

}  // namespace
