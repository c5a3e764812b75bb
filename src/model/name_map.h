// Hash maps keyed by byte strings that can be searched with a string_view
// without building a std::string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kivanime {

struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    size_t operator()(const std::string& s) const { return std::hash<std::string_view>{}(s); }
    size_t operator()(const char* s) const { return std::hash<std::string_view>{}(s); }
};

using NameIndex = std::unordered_map<std::string, int32_t, StringHash, std::equal_to<>>;

}  // namespace kivanime
