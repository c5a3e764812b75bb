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

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;
using kivanime::lint::Finding;
using kivanime::lint::LintFiles;

const std::string kCases = KIVANIME_LINT_CASES;
const std::string kSource = KIVANIME_SOURCE_DIR;

struct LintRun {
    int status = -1;
    std::string out;
};

LintRun RunLint(const std::string& args) {
    LintRun run;
#if defined(_WIN32)
    (void)args;
#else
    std::string command = std::string("\"") + KIVANIME_LINT_EXE + "\" " + args + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return run;
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
#if defined(_WIN32)
    GTEST_SKIP() << "runs the program through a POSIX shell";
#endif
    LintRun clean = RunLint("\"" + kCases + "/base_model.json\"");
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.out, "no findings\n");

    // A warning passes, unless --strict.
    EXPECT_EQ(RunLint("\"" + kCases + "/unknown_key.json\"").status, 0);
    LintRun strict = RunLint("--strict \"" + kCases + "/unknown_key.json\"");
    EXPECT_EQ(strict.status, 1);
    EXPECT_NE(strict.out.find("unknown_key.json:4:19: warning: "), std::string::npos) << strict.out;
    EXPECT_NE(strict.out.find("[unknown-key]\n0 errors, 1 warning, 0 infos\n"), std::string::npos)
        << strict.out;

    EXPECT_EQ(RunLint("\"" + kCases + "/wrong_type.json\"").status, 1);
    EXPECT_EQ(RunLint("").status, 2);
    EXPECT_EQ(RunLint("--frobnicate x.json").status, 2);
}

TEST(LintProgram, JsonOutputReadsBackWithTheLibrarysReader) {
#if defined(_WIN32)
    GTEST_SKIP() << "runs the program through a POSIX shell";
#endif
    LintRun run = RunLint("--json \"" + kCases + "/json_control_character.json\" \"" + kCases +
                          "/wrong_type.json\"");
    EXPECT_EQ(run.status, 1);
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
    LintRun bad = RunLint("--json \"" + path + "\"");
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
