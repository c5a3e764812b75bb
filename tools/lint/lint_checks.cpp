#include "lint_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

#include "json/json_file.h"
#include "json/json_parser.h"
#include "json/number_text.h"

namespace kivanime::lint {

namespace {

constexpr size_t kSnippetBytes = 24;

// Up to kSnippetBytes of the text, with control bytes shown as '?'.
std::string Snippet(std::string_view text, size_t offset, size_t length) {
    std::string out;
    size_t end = std::min(text.size(), offset + std::min(length, kSnippetBytes));
    for (size_t i = offset; i < end;) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = Utf8SequenceLength(text, i);
        if (n > 1 && i + n <= end) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        out.push_back(c < 0x20 || c >= 0x7F ? '?' : static_cast<char>(c));
        ++i;
    }
    while (!out.empty() && (out.back() == '?' || out.back() == ' ')) {
        out.pop_back();  // a line break or spaces at the end say nothing
    }
    if (length > kSnippetBytes) {
        out += "...";
    }
    return out;
}

bool IsWordByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

bool IsWord(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsWordByte);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// Optimal string alignment distance: edits, with a swap of two neighbours
// counting as one.
size_t EditDistance(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    const size_t m = b.size();
    std::vector<size_t> d((n + 1) * (m + 1));
    auto at = [&](size_t i, size_t j) -> size_t& { return d[i * (m + 1) + j]; };
    for (size_t i = 0; i <= n; ++i) {
        at(i, 0) = i;
    }
    for (size_t j = 0; j <= m; ++j) {
        at(0, j) = j;
    }
    for (size_t i = 1; i <= n; ++i) {
        for (size_t j = 1; j <= m; ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            size_t best = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                best = std::min(best, at(i - 2, j - 2) + 1);
            }
            at(i, j) = best;
        }
    }
    return at(n, m);
}

template <typename Range>
std::string ClosestOf(std::string_view word, const Range& candidates) {
    std::string lowered = Lower(word);
    std::string best;
    size_t bestDistance = std::numeric_limits<size_t>::max();
    for (const auto& candidate : candidates) {
        std::string_view c(candidate);
        if (c.empty() || c == word) {
            continue;
        }
        size_t distance = EditDistance(lowered, Lower(c));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = std::string(c);
        }
    }
    // Close enough to be a slip: about one edit per three characters, so a
    // short word is only matched when it differs in letter case.
    size_t limit = word.size() / 3;
    return bestDistance <= limit ? best : std::string();
}

bool FitsFloat(double value) {
    return std::isfinite(value) &&
           std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max());
}

// A number read as a float: NaN or infinity once narrowed is an error.
void CheckFloat(Reporter& r, const JsonValue& value, std::string_view what) {
    if (!FitsFloat(value.number)) {
        r.at(value, Severity::Error, "non-finite-number",
             std::string(what) + " is not a finite number once read as a float: every use of it " +
                 "gives NaN or infinity");
    }
}

void CheckInteger(Reporter& r, const JsonValue& value, std::string_view what) {
    double v = value.number;
    if (std::isnan(v) || std::trunc(v) < -2147483648.0 || std::trunc(v) > 2147483647.0) {
        r.at(value, Severity::Error, "number-out-of-range",
             std::string(what) + " does not fit a 32-bit integer: it reads as -2147483648");
    } else if (std::trunc(v) != v) {
        r.at(value, Severity::Warning, "truncated-number",
             std::string(what) + " is not a whole number: it is truncated toward zero to " +
                 std::to_string(static_cast<int32_t>(std::trunc(v))));
    }
}

// Elements of a Pair, Quad or Scale array.
void CheckNumberArray(Reporter& r, const JsonValue& value, const KeyRule& rule, size_t need,
                      std::string_view where) {
    std::string what = Quoted(rule.key) + " of " + std::string(where);
    if (value.size() < need) {
        r.at(value, Severity::Error, "short-array",
             what + " has " + std::to_string(value.size()) + " element" +
                 (value.size() == 1 ? "" : "s") + ", needs " + std::to_string(need) + ": " +
                 std::string(rule.otherwise));
        return;
    }
    for (size_t i = 0; i < need; ++i) {
        const JsonValue& element = value.elements[i];
        std::string elementName = "element " + std::to_string(i + 1) + " of " + what;
        if (!element.isNumber()) {
            r.at(element, Severity::Error, "wrong-type",
                 elementName + " is " + DescribeKind(element) +
                     ", not a number: " + Applies(rule.elementDefault));
        } else {
            CheckFloat(r, element, elementName);
        }
    }
    if (value.size() > need) {
        r.at(value.elements[need], Severity::Warning, "extra-elements",
             what + " has " + std::to_string(value.size()) + " elements: only the first " +
                 std::to_string(need) + " are read");
    }
}

void CheckRule(Reporter& r, const JsonValue& value, const KeyRule& rule, std::string_view where) {
    std::string what = Quoted(rule.key) + " of " + std::string(where);
    auto wrong = [&](std::string_view expected) {
        if (value.isNull() && rule.want != Want::Present && rule.want != Want::PresentInt) {
            r.at(value, Severity::Warning, "null-value",
                 what + " is null, which counts as absent: " + std::string(rule.otherwise));
            return;
        }
        r.at(value, Severity::Error, "wrong-type",
             what + " is " + DescribeKind(value) + ", not " + std::string(expected) + ": " +
                 std::string(rule.otherwise));
    };
    switch (rule.want) {
        case Want::Number:
            value.isNumber() ? CheckFloat(r, value, what) : wrong("a number");
            return;
        case Want::Present:
            value.isNumber() ? CheckFloat(r, value, what) : wrong("a number");
            return;
        case Want::Integer:
        case Want::PresentInt:
            value.isNumber() ? CheckInteger(r, value, what) : wrong("a number");
            return;
        case Want::String:
            if (!value.isString()) {
                wrong("a string");
            }
            return;
        case Want::Bool:
            if (!value.isBool()) {
                wrong("true or false");
            }
            return;
        case Want::Array:
            if (!value.isArray()) {
                wrong("an array");
            }
            return;
        case Want::Object:
            if (!value.isObject()) {
                wrong("an object");
            }
            return;
        case Want::Pair:
        case Want::Quad:
            if (!value.isArray()) {
                wrong(rule.want == Want::Pair ? "an array of two numbers"
                                              : "an array of four numbers");
            } else {
                CheckNumberArray(r, value, rule, rule.want == Want::Pair ? 2 : 4, where);
            }
            return;
        case Want::Scale:
            if (value.isNumber()) {
                CheckFloat(r, value, what);
            } else if (!value.isArray()) {
                wrong("a number or an array of two numbers");
            } else {
                CheckNumberArray(r, value, rule, 2, where);
            }
            return;
    }
}

struct IssueText {
    Severity severity;
    std::string_view code;
};

IssueText DescribeIssueKind(JsonIssueKind kind) {
    switch (kind) {
        case JsonIssueKind::ByteOrderMark:
            return {Severity::Error, "json-bom"};
        case JsonIssueKind::EmptyDocument:
            return {Severity::Error, "json-empty"};
        case JsonIssueKind::UnexpectedText:
            return {Severity::Error, "json-unexpected-text"};
        case JsonIssueKind::SkippedText:
            return {Severity::Error, "json-skipped-text"};
        case JsonIssueKind::MissingValue:
            return {Severity::Warning, "json-missing-value"};
        case JsonIssueKind::PartialLiteral:
            return {Severity::Error, "json-partial-literal"};
        case JsonIssueKind::MissingComma:
            return {Severity::Warning, "json-missing-comma"};
        case JsonIssueKind::MissingColon:
            return {Severity::Warning, "json-missing-colon"};
        case JsonIssueKind::TrailingComma:
            return {Severity::Warning, "json-trailing-comma"};
        case JsonIssueKind::Truncated:
            return {Severity::Error, "json-truncated"};
        case JsonIssueKind::TrailingContent:
            return {Severity::Warning, "json-trailing-content"};
        case JsonIssueKind::InvalidNumber:
            return {Severity::Warning, "json-invalid-number"};
        case JsonIssueKind::InvalidEscape:
            return {Severity::Warning, "json-invalid-escape"};
        case JsonIssueKind::ControlCharacter:
            return {Severity::Warning, "json-control-character"};
        case JsonIssueKind::DuplicateKey:
            return {Severity::Warning, "json-duplicate-key"};
        case JsonIssueKind::TooDeep:
            return {Severity::Error, "json-too-deep"};
    }
    return {Severity::Error, "json-unexpected-text"};
}

std::string IssueMessage(const JsonIssue& issue, std::string_view text) {
    std::string bytes = Snippet(text, issue.offset, issue.length);
    switch (issue.kind) {
        case JsonIssueKind::ByteOrderMark:
            return "the file starts with a UTF-8 byte-order mark: the library reads no value and "
                   "the load fails; save the file without it";
        case JsonIssueKind::EmptyDocument:
            return "the file holds no JSON value: the load fails";
        case JsonIssueKind::UnexpectedText:
            return (IsWord(bytes) ? "unquoted word " : "unrecognised text ") + Quoted(bytes) +
                   " is not a JSON value: it reads as null (in an array, one null per byte)";
        case JsonIssueKind::SkippedText:
            return (IsWord(bytes) ? "unquoted key " : "unrecognised text ") + Quoted(bytes) +
                   " where a quoted key is expected: skipped, no member is read";
        case JsonIssueKind::MissingValue:
            return "a value is missing here: null is read in its place";
        case JsonIssueKind::PartialLiteral:
            return Quoted(bytes) + " is not true, false or null: it reads as " +
                   (text[issue.offset] == 'n' ? "null" : "false");
        case JsonIssueKind::MissingComma:
            return "missing comma before this value";
        case JsonIssueKind::MissingColon:
            return "missing colon after the key";
        case JsonIssueKind::TrailingComma:
            return "trailing comma before the closing bracket";
        case JsonIssueKind::Truncated:
            return "the file ends inside a string, array or object: what was read so far is kept";
        case JsonIssueKind::TrailingContent:
            return "text after the end of the top-level value is ignored: " + Quoted(bytes);
        case JsonIssueKind::InvalidNumber: {
            double v = ConvertNumberText(text.data() + issue.offset, text.data() + text.size());
            return Quoted(bytes) + " is not a valid JSON number: it reads as " + FormatNumber(v);
        }
        case JsonIssueKind::InvalidEscape:
            return Quoted(bytes) + " is not a JSON escape";
        case JsonIssueKind::ControlCharacter:
            return "raw control character inside a string: write it as an escape";
        case JsonIssueKind::DuplicateKey:
            return "key " + bytes + " occurs again in this object: the later value wins";
        case JsonIssueKind::TooDeep:
            return "nested too deeply: the whole value reads as null";
    }
    return {};
}

}  // namespace

std::unique_ptr<LintFile> ReadLintFile(const std::string& path) {
    auto file = std::make_unique<LintFile>();
    file->path = path;
    file->readable = ReadFileBytes(path, file->text);
    if (file->readable) {
        file->root = ParseJson(file->text, &file->diagnostics);
        file->map = JsonSourceMap(file->root, file->diagnostics.root);
    }
    return file;
}

void Reporter::atOffset(size_t offset, Severity severity, std::string_view code,
                        std::string message) {
    JsonTextPosition position = TextPositionOf(file_.text, offset);
    Finding finding;
    finding.severity = severity;
    finding.code = std::string(code);
    finding.file = file_.path;
    finding.line = position.line;
    finding.column = position.column;
    finding.message = std::move(message);
    out_.push_back(std::move(finding));
}

void Reporter::at(const JsonValue& value, Severity severity, std::string_view code,
                  std::string message) {
    const JsonSourceNode* node = file_.map.find(value);
    atOffset(node ? node->offset : 0, severity, code, std::move(message));
}

void Reporter::atKey(const JsonValue& memberValue, Severity severity, std::string_view code,
                     std::string message) {
    const JsonSourceNode* node = file_.map.find(memberValue);
    size_t offset = 0;
    if (node != nullptr) {
        offset = node->keyOffset != kNoJsonKey ? node->keyOffset : node->offset;
    }
    atOffset(offset, severity, code, std::move(message));
}

std::string DescribeKind(const JsonValue& value) {
    return DescribeJsonKind(value);
}

std::string FormatFloat(float value) {
    char buffer[40];
    if (std::trunc(value) == value && std::fabs(value) < 1e9f) {
        std::snprintf(buffer, sizeof buffer, "%.0f", static_cast<double>(value));
        return buffer;
    }
    for (int digits = 1;; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, static_cast<double>(value));
        if (digits >= 9 || std::strtof(buffer, nullptr) == value) {
            return buffer;
        }
    }
}

std::string DescribeDefault(const KeyFields& fields) {
    if (fields.integer != nullptr) {
        return std::to_string(*fields.integer);
    }
    std::string out;
    for (const float* value : fields.floats) {
        out += value == nullptr ? "" : (out.empty() ? "" : ", ") + FormatFloat(*value);
    }
    return fields.floats[1] != nullptr ? "(" + out + ")" : out;
}

std::string Applies(float value) {
    return FormatFloat(value) + " applies";
}

std::string FormatNumber(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.9g", value);
    return buffer;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    out.append(text);
    out.push_back('"');
    return out;
}

std::string DidYouMean(std::string_view word, std::span<const std::string_view> candidates) {
    std::string best = ClosestOf(word, candidates);
    return best.empty() ? std::string() : " (did you mean " + Quoted(best) + "?)";
}

std::string DidYouMean(std::string_view word, const std::vector<std::string>& candidates) {
    std::string best = ClosestOf(word, candidates);
    return best.empty() ? std::string() : " (did you mean " + Quoted(best) + "?)";
}

void CheckMembers(Reporter& reporter, const JsonValue& object, std::span<const KeyRule> rules,
                  std::string_view where) {
    if (!object.isObject()) {
        return;
    }
    std::vector<std::string_view> known;
    known.reserve(rules.size());
    for (const KeyRule& rule : rules) {
        known.push_back(rule.key);
    }
    for (size_t i = 0; i < object.members.size(); ++i) {
        const std::string& key = object.members.keyAt(i);
        const JsonValue& value = object.members.valueAt(i);
        auto rule = std::find_if(rules.begin(), rules.end(),
                                 [&](const KeyRule& k) { return k.key == key; });
        if (rule == rules.end()) {
            reporter.atKey(value, Severity::Warning, "unknown-key",
                           "unknown key " + Quoted(key) + " in " + std::string(where) +
                               " is ignored" + DidYouMean(key, known));
            continue;
        }
        if (!rule->ownCheck) {
            CheckRule(reporter, value, *rule, where);
        }
        if (!rule->members.empty()) {
            CheckMembers(reporter, value, rule->members, Quoted(key));
        }
    }
}

bool CheckDocument(Reporter& reporter) {
    const LintFile& file = reporter.file();
    if (!file.readable) {
        reporter.atOffset(0, Severity::Error, "file-unreadable",
                          "the file cannot be opened or read");
        return false;
    }
    std::vector<JsonIssue> issues = file.diagnostics.issues;
    std::stable_sort(issues.begin(), issues.end(),
                     [](const JsonIssue& a, const JsonIssue& b) { return a.offset < b.offset; });
    bool bomOrEmpty = false;
    for (const JsonIssue& issue : issues) {
        IssueText kind = DescribeIssueKind(issue.kind);
        reporter.atOffset(issue.offset, kind.severity, kind.code, IssueMessage(issue, file.text));
        bomOrEmpty = bomOrEmpty || issue.kind == JsonIssueKind::ByteOrderMark ||
                     issue.kind == JsonIssueKind::EmptyDocument;
    }
    if (file.root.isObject()) {
        return true;
    }
    if (!bomOrEmpty) {
        reporter.at(file.root, Severity::Error, "root-not-object",
                    "the top-level value is " + DescribeKind(file.root) +
                        ", not an object: the load fails");
    }
    return false;
}

}  // namespace kivanime::lint
