#include "json/json_root_error.h"

#include <algorithm>

#include "json/json_parser.h"

namespace kivanime {

namespace {

// A short piece of the text at `offset`, up to the end of its line, with
// control bytes shown as '?' and no UTF-8 sequence cut in half.
std::string Excerpt(std::string_view text, size_t offset) {
    constexpr size_t kMaxBytes = 20;
    size_t end = offset;
    while (end < text.size() && end - offset < kMaxBytes && text[end] != '\n' &&
           text[end] != '\r') {
        ++end;
    }
    while (end < text.size() && end > offset &&
           (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    std::string out;
    for (size_t i = offset; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    }
    const bool cut = end < text.size() && text[end] != '\n' && text[end] != '\r';
    return "\"" + out + (cut ? "...\"" : "\"");
}

}  // namespace

std::string DescribeRootNotObject(std::string_view text, std::string_view source) {
    JsonDiagnostics diagnostics;
    const JsonValue root = ParseJson(text, &diagnostics);
    size_t offset = diagnostics.root.offset;
    std::string found;
    // A top level that reads as null without being the word null is text the
    // reader could not take as a value: its first complaint says where.
    const JsonIssue* first = nullptr;
    for (const JsonIssue& issue : diagnostics.issues) {
        if (first == nullptr || issue.offset < first->offset) {
            first = &issue;
        }
    }
    if (root.isNull() && first != nullptr) {
        offset = first->offset;
        switch (first->kind) {
            case JsonIssueKind::ByteOrderMark:
                found = "a UTF-8 byte-order mark (save the text without it)";
                break;
            case JsonIssueKind::EmptyDocument:
                found = "no value at all";
                offset = text.size();
                break;
            default:
                found = Excerpt(text, offset);
                break;
        }
    } else {
        found = std::string(DescribeJsonKind(root));
        if (!root.isNull() || offset < text.size()) {
            found += " " + Excerpt(text, std::min(offset, text.size()));
        }
    }
    const JsonTextPosition at = TextPositionOf(text, offset);
    return std::string(source) + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
           ": expected a JSON object, found " + found;
}

}  // namespace kivanime
