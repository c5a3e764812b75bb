// UTF-8 and UTF-16: validation and conversion, for every place where text
// crosses between the two (texture paths handed to the host, file names on
// Windows, \u escapes in JSON strings, file text quoted in messages).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kivanime {

// Appends the UTF-8 form of one code point. A lone surrogate value is
// encoded on its own, in three bytes (the JSON reader keeps unpaired \u
// escapes this way); callers that need valid UTF-8 pass U+FFFD instead.
void AppendUtf8(std::string& out, uint32_t codePoint);

// Converts UTF-8 to UTF-16. Each maximal ill-formed subsequence (a stray
// continuation byte, a truncated sequence, an overlong form, an encoded
// surrogate, a value beyond U+10FFFF) becomes one U+FFFD, as decoders in
// browsers and on Windows do.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Converts UTF-16 to UTF-8: surrogate pairs join, and each unpaired
// surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view utf8);

// Length of the well-formed UTF-8 sequence that starts at byte i, 0 when
// the bytes there are not one.
size_t Utf8SequenceLength(std::string_view text, size_t i);

#if defined(_WIN32)
// The UTF-16 form Windows' wide-character functions take (wchar_t is 16
// bits there).
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
#endif

}  // namespace kivanime
