// kivanime-lint as a user runs it: exit status, the two output forms, and
// the sample puppets, which must lint clean.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "json/json_parser.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(LintProgram, ExitStatusAndOutputFollowSeverityAndStrict) {
    const std::string cases = std::string(KIVANIME_LINT_CASES) + "/";
    const std::string examples = std::string(KIVANIME_SOURCE_DIR) + "/examples/";
    // The sample hero with all its files lints clean, even with --strict.
    std::vector<std::string> hero = {"--strict", examples + "hero/model.json"};
    for (const char* folder : {"hero/motions", "hero/expressions"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(examples + folder)) {
            hero.push_back(entry.path().string());
        }
    }
    ASSERT_GT(hero.size(), 6u);
    // Bytes of a file that are not UTF-8 do not make the JSON output invalid.
    const kivanime::test::ScratchDir scratch("kivanime_lint_program");
    const std::string badUtf8 =
        scratch.Write("lint_bad_utf8.json", "{\"parts\": [], \"k\xFF\": 1}");
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> output;  // parts of what it prints
    } rows[] = {
        {hero, 0, {"no findings\n"}},
        // A warning passes, unless --strict. Suggestions name the closest known word.
        {{cases + "unknown_key.json"}, 0, {"mean \"position\"", "0 errors, 1 warning, 0 infos\n"}},
        {{"--strict", cases + "unknown_key.json"}, 1, {"unknown_key.json:4:19: warning: "}},
        {{cases + "wrong_type.json"}, 1, {"[wrong-type]\n1 error, 0 warnings, 0 infos\n"}},
        {{cases + "base_model.json", cases + "unknown_easing.json"},
         1,
         {"(did you mean \"ease_in"}},
        // So does the starter puppet, images included.
        {{"--strict", examples + "minimal/model.json"}, 0, {"no findings\n"}},
        // A texture without its file is a warning, which --no-texture-files drops.
        {{cases + "texture_file_missing.json"}, 0, {"[texture-file-missing]\n"}},
        {{"--no-texture-files", cases + "texture_file_missing.json"}, 0, {"no findings\n"}},
        {{"--json", cases + "json_control_character.json", cases + "wrong_type.json", badUtf8},
         1,
         {"\"line\": 1, \"column\": 25, \"severity\": \"warning\", \"code\": "
          "\"json-control-character\"",
          "{\"file\": \"" + cases +
              "wrong_type.json\", \"line\": 4, \"column\": 30, \"severity\": " +
              "\"error\", \"code\": \"wrong-type\", \"message\": \"\\\"visible\\\"",
          "\\\"k\\ufffd\\\"", "\"errors\": 1, \"warnings\": 2, \"infos\": 0}\n"}},
        {{}, 2, {""}},
        {{"--frobnicate", "x.json"}, 2, {""}},
    };
    for (const auto& row : rows) {
        // Its output goes through files in a scratch folder.
        const kivanime::test::ProgramRun run =
            kivanime::test::RunProgram(KIVANIME_LINT_EXE, row.args, scratch.path());
        EXPECT_EQ(run.exitCode, row.exitCode) << run.out;
        for (const std::string& part : row.output) {
            EXPECT_NE(run.out.find(part), std::string::npos) << part << " in\n" << run.out;
        }
        // The JSON form reads back with the library's reader.
        kivanime::JsonDiagnostics diagnostics;
        kivanime::ParseJson(run.out, &diagnostics);
        EXPECT_TRUE(row.args.empty() || row.args[0] != "--json" || diagnostics.issues.empty());
    }
}

}  // namespace
