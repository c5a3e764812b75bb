// UTF-8 to UTF-16 conversion for texture paths handed to the host.
#pragma once

#include <string>
#include <string_view>

namespace kivanime {

// Converts UTF-8 to UTF-16. Each maximal ill-formed subsequence (a stray
// continuation byte, a truncated sequence, an overlong form, an encoded
// surrogate, a value beyond U+10FFFF) becomes one U+FFFD, as decoders in
// browsers and on Windows do.
std::u16string Utf8ToUtf16(std::string_view utf8);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view utf8);

}  // namespace kivanime
