// Running the checks over a set of files, and the two output forms.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "lint_checks.h"
#include "model/expression_loader.h"
#include "model/model_loader.h"
#include "model/motion_loader.h"

namespace kivanime::lint {

namespace {

enum class FileKind { Model, Motion, Expression, Unknown };

// True when the root has a key of `mine` that the other two kinds of file do
// not have ("name", which all have, tells nothing).
template <typename Mine, typename Other, typename Another>
bool HasOwnKey(const JsonValue& root, std::span<const RecordKey<Mine>> mine,
               std::span<const RecordKey<Other>> other,
               std::span<const RecordKey<Another>> another) {
    return std::any_of(mine.begin(), mine.end(), [&](const RecordKey<Mine>& key) {
        return root.has(key.name) && FindKey(other, key.name) == nullptr &&
               FindKey(another, key.name) == nullptr;
    });
}

std::string LowerFolder(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    for (char& c : folder) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    size_t start = folder.find_last_of("/\\");
    return start == std::string::npos ? folder : folder.substr(start + 1);
}

// The keys say what a file is; a file that holds none of them is told by the
// name of its folder.
FileKind Classify(const LintFile& file) {
    const JsonValue& root = file.root;
    if (HasOwnKey(root, kModelKeys, kMotionKeys, kExpressionKeys)) {
        return FileKind::Model;
    }
    if (HasOwnKey(root, kMotionKeys, kModelKeys, kExpressionKeys)) {
        return FileKind::Motion;
    }
    if (HasOwnKey(root, kExpressionKeys, kModelKeys, kMotionKeys)) {
        return FileKind::Expression;
    }
    std::string folder = LowerFolder(file.path);
    if (folder.find("motion") != std::string::npos) {
        return FileKind::Motion;
    }
    if (folder.find("expression") != std::string::npos) {
        return FileKind::Expression;
    }
    return FileKind::Unknown;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    for (size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            // Names come from the files as bytes: keep valid UTF-8, replace
            // the rest so that the output stays valid JSON.
            size_t n = Utf8SequenceLength(text, i);
            if (n == 0) {
                out += "\\ufffd";
            } else {
                out.append(text.substr(i, n));
                i += n - 1;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                    out += buffer;
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
}

struct Counts {
    size_t errors = 0;
    size_t warnings = 0;
    size_t infos = 0;
};

Counts CountFindings(const std::vector<Finding>& findings) {
    Counts counts;
    for (const Finding& f : findings) {
        switch (f.severity) {
            case Severity::Error:
                ++counts.errors;
                break;
            case Severity::Warning:
                ++counts.warnings;
                break;
            case Severity::Info:
                ++counts.infos;
                break;
        }
    }
    return counts;
}

std::string Plural(size_t n, std::string_view word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

}  // namespace

std::string_view SeverityName(Severity severity) {
    switch (severity) {
        case Severity::Error:
            return "error";
        case Severity::Warning:
            return "warning";
        case Severity::Info:
            return "info";
    }
    return "error";
}

std::vector<Finding> LintFiles(const std::vector<std::string>& paths, const LintOptions& options) {
    std::vector<std::unique_ptr<LintFile>> files;
    std::vector<std::vector<Finding>> perFile(paths.size());
    std::vector<FileKind> kinds(paths.size(), FileKind::Unknown);
    std::vector<bool> usable(paths.size(), false);
    for (size_t i = 0; i < paths.size(); ++i) {
        files.push_back(ReadLintFile(paths[i]));
        Reporter reporter(*files[i], perFile[i]);
        usable[i] = CheckDocument(reporter);
        kinds[i] = Classify(*files[i]);
        if (files[i]->readable && kinds[i] == FileKind::Unknown && usable[i]) {
            reporter.atOffset(0, Severity::Error, "unknown-file-kind",
                              "cannot tell whether this is a model, motion or expression file: "
                              "it has none of their keys");
        }
    }

    // Models first, as a game loads them before their motions and
    // expressions; the first model is the one the other files go with.
    Puppet puppet;
    AnimationNames names;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (usable[i] && kinds[i] == FileKind::Model) {
            Reporter reporter(*files[i], perFile[i]);
            if (!puppet.loaded) {
                CheckModel(reporter, puppet, names, options);
            } else {
                Puppet other;
                AnimationNames otherNames;
                CheckModel(reporter, other, otherNames, options);
            }
        }
    }
    const Puppet* model = puppet.loaded ? &puppet : nullptr;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!usable[i]) {
            continue;
        }
        Reporter reporter(*files[i], perFile[i]);
        if (kinds[i] == FileKind::Motion) {
            CheckMotion(reporter, files[i]->root, {}, model, names);
        } else if (kinds[i] == FileKind::Expression) {
            CheckExpression(reporter, files[i]->root, {}, model, names);
        }
    }

    std::vector<Finding> all;
    for (std::vector<Finding>& findings : perFile) {
        std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        });
        all.insert(all.end(), findings.begin(), findings.end());
    }
    return all;
}

int ExitCodeFor(const std::vector<Finding>& findings, bool strict) {
    Counts counts = CountFindings(findings);
    return counts.errors > 0 || (strict && counts.warnings > 0) ? 1 : 0;
}

std::string FormatText(const std::vector<Finding>& findings) {
    std::string out;
    for (const Finding& f : findings) {
        out += f.file + ":" + std::to_string(f.line) + ":" + std::to_string(f.column) + ": " +
               std::string(SeverityName(f.severity)) + ": " + f.message + " [" + f.code + "]\n";
    }
    Counts counts = CountFindings(findings);
    if (findings.empty()) {
        out += "no findings\n";
    } else {
        out += Plural(counts.errors, "error") + ", " + Plural(counts.warnings, "warning") + ", " +
               Plural(counts.infos, "info") + "\n";
    }
    return out;
}

std::string FormatJson(const std::vector<Finding>& findings) {
    std::string out = "{\"findings\": [";
    for (size_t i = 0; i < findings.size(); ++i) {
        const Finding& f = findings[i];
        out += i == 0 ? "\n  {" : ",\n  {";
        out += "\"file\": ";
        AppendJsonString(out, f.file);
        out += ", \"line\": " + std::to_string(f.line) +
               ", \"column\": " + std::to_string(f.column) + ", \"severity\": \"" +
               std::string(SeverityName(f.severity)) + "\", \"code\": ";
        AppendJsonString(out, f.code);
        out += ", \"message\": ";
        AppendJsonString(out, f.message);
        out += "}";
    }
    Counts counts = CountFindings(findings);
    out += findings.empty() ? "]" : "\n]";
    out += ", \"errors\": " + std::to_string(counts.errors) +
           ", \"warnings\": " + std::to_string(counts.warnings) +
           ", \"infos\": " + std::to_string(counts.infos) + "}\n";
    return out;
}

}  // namespace kivanime::lint
