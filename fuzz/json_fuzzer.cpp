// The JSON reader on arbitrary bytes: it must return a value for anything,
// build the same value with and without diagnostics, and report issues that
// lie inside the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fuzz_support.h"
#include "json/json_diagnostics.h"
#include "json/json_parser.h"

using kivanime::JsonValue;

namespace {

bool SameValue(const JsonValue& a, const JsonValue& b) {
    if (a.type != b.type || a.boolValue != b.boolValue ||
        std::memcmp(&a.number, &b.number, sizeof a.number) != 0 || a.text != b.text ||
        a.elements.size() != b.elements.size() || a.members.size() != b.members.size()) {
        return false;
    }
    for (size_t i = 0; i < a.elements.size(); ++i) {
        if (!SameValue(a.elements[i], b.elements[i])) {
            return false;
        }
    }
    for (size_t i = 0; i < a.members.size(); ++i) {
        if (a.members.keyAt(i) != b.members.keyAt(i) ||
            !SameValue(a.members.valueAt(i), b.members.valueAt(i))) {
            return false;
        }
    }
    return true;
}

// Every member is found under its own key, and typed reads never fail.
void Walk(const JsonValue& value) {
    (void)value.asInt(7);
    (void)value.asFloat(7.0f);
    (void)value.asBool(true);
    (void)value.asStringView("x");
    (void)value.at(0);
    for (const JsonValue& element : value.elements) {
        Walk(element);
    }
    for (size_t i = 0; i < value.members.size(); ++i) {
        if (value.members.find(value.members.keyAt(i)) != &value.members.valueAt(i) ||
            &value.get(value.members.keyAt(i)) != &value.members.valueAt(i)) {
            kivanime::fuzz::Fail("object member not found under its key");
        }
        Walk(value.members.valueAt(i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const JsonValue plain = kivanime::ParseJson(text);
    kivanime::JsonDiagnostics diagnostics;
    const JsonValue traced = kivanime::ParseJson(text, &diagnostics);
    if (!SameValue(plain, traced)) {
        kivanime::fuzz::Fail("diagnostics changed the parsed value");
    }
    for (size_t i = 0; i < diagnostics.issues.size(); ++i) {
        const kivanime::JsonIssue& issue = diagnostics.issues[i];
        if (issue.offset > size || issue.length > size - issue.offset) {
            kivanime::fuzz::Fail("issue outside the text");
        }
        // Each position scans the text from its start: a few are enough.
        if (i < 4) {
            (void)kivanime::TextPositionOf(text, issue.offset);
        }
    }
    const kivanime::JsonSourceMap map(traced, diagnostics.root);
    if (map.find(traced) == nullptr) {
        kivanime::fuzz::Fail("source map lacks the root");
    }
    Walk(plain);
    const JsonValue copy = plain;
    if (!SameValue(copy, plain)) {
        kivanime::fuzz::Fail("copy differs");
    }
    return 0;
}
