// The reader's diagnostics mode: what it records points at the right bytes;
// values and positions map back to the text. (The JSON test suite's files are
// checked in json_corpus_test.cpp and by the JSON fuzz harness's replay.)
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "json/json_diagnostics.h"
#include "json/json_file.h"
#include "json/json_parser.h"
#include "support/json_print.h"

namespace {

using namespace kivanime;

TEST(JsonDiagnostics, RecordsEachRepairOnceAtItsBytes) {
    // Depth is counted from the first bracket on.
    const std::string deep = std::string(600, '[') + std::string(600, ']');
    // {text, the first repair, each repair's offset+length}. Runs of bytes
    // read as nothing with only whitespace between them are one repair;
    // anything else between makes two.
    const std::tuple<const char*, JsonIssueKind, std::string> cases[] = {
        {"[1, ]", JsonIssueKind::TrailingComma, "2+1"},
        {"[tru]", JsonIssueKind::PartialLiteral, "1+3"},
        {"{a: 1}", JsonIssueKind::SkippedText, "1+4"},
        {"[abc]", JsonIssueKind::UnexpectedText, "1+3"},
        {"[1, [2", JsonIssueKind::Truncated, "6+0"},
        {"\"ab", JsonIssueKind::Truncated, "3+0"},  // an unterminated string
        {"\xEF\xBB\xBF{}", JsonIssueKind::ByteOrderMark, "0+3"},
        {"{} x", JsonIssueKind::TrailingContent, "3+1"},
        {"[01]", JsonIssueKind::InvalidNumber, "1+2"},
        {"[1.e5]", JsonIssueKind::InvalidNumber, "1+4"},  // read whole, yet not strict JSON
        {"[-]", JsonIssueKind::InvalidNumber, "1+1"},
        {"[\"\\q\"]", JsonIssueKind::InvalidEscape, "2+2"},
        {"[\"\\u12G4\"]", JsonIssueKind::InvalidEscape, "2+6"},
        {"[\"a\tb\"]", JsonIssueKind::ControlCharacter, "3+1"},
        {"{\"a\":1,\"a\":2}", JsonIssueKind::DuplicateKey, "7+3"},
        {deep.c_str(), JsonIssueKind::TooDeep, std::to_string(kJsonMaxDepth) + "+1"},
        {"[ab \n cd]", JsonIssueKind::UnexpectedText, "1+7"},
        {"[ab 1 cd]", JsonIssueKind::UnexpectedText, "1+2 6+2"},
        {"{a: 1, b: 2}", JsonIssueKind::SkippedText, "1+10"},
    };
    for (const auto& [text, kind, expected] : cases) {
        SCOPED_TRACE(text);
        JsonDiagnostics diagnostics;
        JsonValue noted = ParseJson(text, &diagnostics);
        EXPECT_EQ(kivanime::test::JsonText(noted), kivanime::test::JsonText(ParseJson(text)));
        std::string spans;
        for (const JsonIssue& issue : diagnostics.issues) {
            spans += (spans.empty() ? "" : " ") + std::to_string(issue.offset) + "+" +
                     std::to_string(issue.length);
        }
        EXPECT_EQ(spans, expected);
        ASSERT_FALSE(diagnostics.issues.empty());
        EXPECT_EQ(diagnostics.issues[0].kind, kind);
    }
}

TEST(JsonDiagnostics, SourceMapAndPositionsPointAtTheText) {
    const std::string text = "{\"a\": [1, {\"b\": 2}],\n \"c\": [true, {\"d\": 4}], \"a\" : [3]}";
    JsonDiagnostics diagnostics;
    JsonValue root = ParseJson(text, &diagnostics);
    JsonSourceMap map(root, diagnostics.root);
    // The repeated key "a" wins with its later value, and so does its position.
    // {value, where its key starts (npos for an element), where it starts}
    const std::tuple<const JsonValue*, size_t, size_t> cases[] = {
        {&root, std::string::npos, 0},
        {&root.get("a"), text.rfind("\"a\""), text.rfind('[')},
        {&root.get("a").at(0), std::string::npos, text.find('3')},
    };
    for (const auto& [value, keyOffset, offset] : cases) {
        const kivanime::JsonSourceNode* node = map.find(*value);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->keyOffset, keyOffset);
        EXPECT_EQ(node->offset, offset);
    }
    EXPECT_EQ(map.find(kivanime::JsonNull()), nullptr);

    // Positions count lines and characters: x comes after c and then é as
    // one character.
    const std::string lines = "ab\nc\xC3\xA9x\n\ty";
    const size_t places[][3] = {{0, 1, 1}, {lines.find('x'), 2, 3}, {lines.find('y'), 3, 2}};
    for (const auto& [offset, line, column] : places) {
        const kivanime::JsonTextPosition at = kivanime::TextPositionOf(lines, offset);
        EXPECT_EQ(at.line, line) << offset;
        EXPECT_EQ(at.column, column) << offset;
    }
}

}  // namespace
