// The reason for the last failed call, as text and as an AnimeErrorCode,
// kept per thread: a failure on one thread never shows on another, and no
// lock is needed. The two are always set and cleared together.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kivanime.h"

namespace kivanime {

// Called at the start of every export that gets past its argument checks.
void ClearLastError() noexcept;

// Keeps `code` and `message` (cut at a character boundary if very long).
// Never throws.
void SetLastError(AnimeErrorCode code, std::string_view message) noexcept;

// A host function called back into the library: the refusal (with
// ANIME_ERROR_NESTED_CALL) is recorded
// for the host function to read, and forgotten by ForgetNestedRefusal when
// the outer call ends without a failure of its own.
void SetNestedRefusal(std::string_view message) noexcept;
void ForgetNestedRefusal() noexcept;

// The calling thread's text, "" when the last call succeeded, and its code,
// ANIME_ERROR_NONE then.
const char* LastErrorText() noexcept;
int32_t LastErrorCode() noexcept;

// `text` in double quotes, as messages show names and paths.
std::string Quoted(std::string_view text);

}  // namespace kivanime
