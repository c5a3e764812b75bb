#include "json/json_diagnostics.h"

#include <algorithm>

#include "json/json_value.h"

namespace kivanime {

JsonSourceMap::JsonSourceMap(const JsonValue& root, const JsonSourceNode& rootNode) {
    add(root, rootNode);
}

void JsonSourceMap::add(const JsonValue& value, const JsonSourceNode& node) {
    nodes_[&value] = &node;
    if (value.isArray()) {
        size_t n = std::min(value.elements.size(), node.children.size());
        for (size_t i = 0; i < n; ++i) {
            add(value.elements[i], node.children[i]);
        }
    } else if (value.isObject()) {
        size_t n = std::min(value.members.size(), node.children.size());
        for (size_t i = 0; i < n; ++i) {
            add(value.members.valueAt(i), node.children[i]);
        }
    }
}

const JsonSourceNode* JsonSourceMap::find(const JsonValue& value) const {
    auto it = nodes_.find(&value);
    return it == nodes_.end() ? nullptr : it->second;
}

JsonTextPosition TextPositionOf(std::string_view text, size_t offset) {
    JsonTextPosition position;
    size_t end = std::min(offset, text.size());
    for (size_t i = 0; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++position.line;
            position.column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++position.column;  // continuation bytes belong to the character before
        }
    }
    return position;
}

}  // namespace kivanime
