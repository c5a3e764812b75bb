// kivanime-lint: reads model, motion and expression files with the library's
// own reader and loaders and reports everything that the lenient loader
// accepts without a word but that will not do what the author wrote.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kivanime::lint {

enum class Severity {
    Error,    // will certainly not do what was written
    Warning,  // probably unintended
    Info,     // worth knowing
};

std::string_view SeverityName(Severity severity);

struct Finding {
    Severity severity = Severity::Error;
    std::string code;  // stable, lower case with hyphens: "unknown-key"
    std::string file;
    size_t line = 1;    // from 1
    size_t column = 1;  // from 1, in characters
    std::string message;
};

struct LintOptions {
    bool checkTextureFiles = true;
};

// Lints the files as one puppet: model files (with their inline motions and
// expressions) and the motion and expression files that go with them. The
// kind of each file is told from its keys, then from its folder name.
// Findings come per file in the order given, in text order within a file.
std::vector<Finding> LintFiles(const std::vector<std::string>& paths,
                               const LintOptions& options = {});

// 1 when a finding is an error, or a warning under `strict`; else 0.
int ExitCodeFor(const std::vector<Finding>& findings, bool strict);

// One finding per line, "file:line:column: severity: message [code]", then
// a summary line.
std::string FormatText(const std::vector<Finding>& findings);
// One JSON object: {"findings": [...], "errors": n, "warnings": n, "infos": n}.
std::string FormatJson(const std::vector<Finding>& findings);

}  // namespace kivanime::lint
