// Internals of the linter: a parsed file with its source positions, the
// reporter that turns a value into a file position, and the checks of each
// format.
#pragma once

#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_diagnostics.h"
#include "json/json_value.h"
#include "lint.h"
#include "model/anime_model.h"
#include "model/record_keys.h"
#include "text/utf.h"

namespace kivanime::lint {

// One file as read for linting. Not movable: the source map points into it.
struct LintFile {
    std::string path;
    std::string text;
    bool readable = false;
    JsonValue root;
    JsonDiagnostics diagnostics;
    JsonSourceMap map;

    LintFile() = default;
    LintFile(const LintFile&) = delete;
    LintFile& operator=(const LintFile&) = delete;
};

std::unique_ptr<LintFile> ReadLintFile(const std::string& path);

class Reporter {
public:
    Reporter(const LintFile& file, std::vector<Finding>& out) : file_(file), out_(out) {}

    const LintFile& file() const { return file_; }

    void atOffset(size_t offset, Severity severity, std::string_view code, std::string message);
    // At the first byte of a value of this file's document.
    void at(const JsonValue& value, Severity severity, std::string_view code, std::string message);
    // At the key of a member (given by its value); at the value when it has none.
    void atKey(const JsonValue& memberValue, Severity severity, std::string_view code,
               std::string message);

private:
    const LintFile& file_;
    std::vector<Finding>& out_;
};

// A key of a record as the lint checks it, from the library's key tables.
struct KeyRule {
    std::string_view key;
    Want want;
    std::string otherwise;  // what applies when the value is absent or of the wrong kind
    // Pair, Quad, Scale: what an element that is not a number gives.
    float elementDefault = 0.0f;
    std::vector<KeyRule> members;  // an object whose keys belong to the record
    bool ownCheck = false;         // known, but its value is checked by a check of its own
};

// The default of a key as a message quotes it: a string's fallback, the
// numbers of its fields ("0.5", "(0, 0.5)"), an object's members joined by " x ".
std::string DescribeDefault(const KeyFields& fields);
template <typename Record>
std::string DescribeDefault(const RecordKey<Record>& key) {
    if (!key.fallback.empty()) {
        return std::string(key.fallback);
    }
    if (key.fields != nullptr) {
        Record defaults;
        return DescribeDefault(key.fields(defaults));
    }
    std::string out;
    for (const RecordKey<Record>& member : key.members) {
        out += (out.empty() ? "" : " x ") + DescribeDefault(member);
    }
    return out;
}

template <typename Record>
std::vector<KeyRule> RulesOf(std::span<const RecordKey<Record>> keys) {
    std::vector<KeyRule> rules;
    Record defaults;
    for (const RecordKey<Record>& key : keys) {
        std::string otherwise(key.absent.empty() ? "{} applies" : key.absent);
        if (size_t at = otherwise.find("{}"); at != std::string::npos) {
            otherwise.replace(at, 2, DescribeDefault(key));
        }
        float* first = key.fields != nullptr ? key.fields(defaults).floats[0] : nullptr;
        rules.push_back({key.name, key.want, std::move(otherwise),
                         first != nullptr ? ElementDefault(*first) : 0.0f, RulesOf(key.members)});
    }
    return rules;
}

// "<value> applies", with the number as the loaders read it.
std::string Applies(float value);

// Reports unknown keys (with the closest known key), values of the wrong
// kind, short arrays, elements that are not numbers, numbers that are not
// finite as floats and integers out of range. `where` names the object in
// messages ("part \"arm\"").
void CheckMembers(Reporter& reporter, const JsonValue& object, std::span<const KeyRule> rules,
                  std::string_view where);

// "a number", "a string", "true", "null", "an array", ...
std::string DescribeKind(const JsonValue& value);
std::string Quoted(std::string_view text);
// Shortest plain form of a number: 1200, 0.5, 1e+39.
std::string FormatNumber(double value);
// Shortest form that reads back as the same float: 0.3, not 0.300000012.
std::string FormatFloat(float value);
// ` (did you mean "x"?)`, or empty when nothing is close.
std::string DidYouMean(std::string_view word, std::span<const std::string_view> candidates);
std::string DidYouMean(std::string_view word, const std::vector<std::string>& candidates);

// The syntax the lenient reader repaired or skipped; the empty or
// non-object root. Returns false when the file is unusable (no object root).
bool CheckDocument(Reporter& reporter);

struct Puppet {
    AnimeModel model;
    bool loaded = false;
    std::vector<std::string> partNames;
    std::vector<std::string> textureNames;
    std::vector<std::string> parameterNames;
};

// Name of a stored motion or expression and where it was defined, to report
// later definitions that replace it.
struct StoredName {
    std::string name;
    std::string file;
    size_t line = 0;
};

struct AnimationNames {
    std::vector<StoredName> motions;
    std::vector<StoredName> expressions;
};

void CheckModel(Reporter& reporter, Puppet& puppet, AnimationNames& names,
                const LintOptions& options);
// The parts' "blend" and "clip" (lint_masks.cpp); `parts` is the model's
// "parts" value, read into `puppet`.
void CheckBlendAndClip(Reporter& reporter, const JsonValue& parts, const Puppet& puppet);
// Whether another part names part `index` as its mask.
bool IsMask(const AnimeModel& model, size_t index);
// `key` is the member key of an inline motion or expression, empty for a file.
void CheckMotion(Reporter& reporter, const JsonValue& motion, std::string_view key,
                 const Puppet* puppet, AnimationNames& names);
void CheckExpression(Reporter& reporter, const JsonValue& expression, std::string_view key,
                     const Puppet* puppet, AnimationNames& names);

// A texture name under `key` of a keyframe, expression element or binding
// key that the model lacks.
void CheckTextureSwap(Reporter& reporter, const JsonValue& holder, const Puppet* puppet,
                      std::string_view where, std::string_view key = "textureSwap");
// Vertex offsets under "deform": numbers in pairs, for vertices the part's
// mesh has (`mesh` is null when no model is known).
void CheckDeform(Reporter& reporter, const JsonValue& key, const PartMeshRef* mesh,
                 const std::string& partName, const std::string& label);

// The model's "parameters" (which also lists their names in `puppet`, for
// the checks after it) and "bindings".
void CheckParameters(Reporter& reporter, const JsonValue& parameters, Puppet& puppet);
void CheckBindings(Reporter& reporter, const JsonValue& bindings, const Puppet& puppet);
// Whether a track or expression element names a parameter (under
// "parameter"), reporting a name the model lacks: "`label` `verb` parameter".
bool CheckParameterName(Reporter& reporter, const JsonValue& holder, const Puppet* puppet,
                        const std::string& label, std::string_view verb);
// Keys of `rules` that go unread: for an object naming a parameter, those
// not `kept`; for one acting on a part, "value".
void CheckIgnoredKeys(Reporter& reporter, const JsonValue& object, std::span<const KeyRule> rules,
                      std::initializer_list<std::string_view> kept, bool forParameter,
                      const std::string& label);

}  // namespace kivanime::lint
