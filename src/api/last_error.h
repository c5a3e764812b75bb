// The reason for the last failed call, kept per thread: a failure on one
// thread never shows on another, and no lock is needed.
#pragma once

#include <string>
#include <string_view>

namespace kivanime {

// Called at the start of every export that gets past its argument checks.
void ClearLastError() noexcept;

// Keeps `message` (cut at a character boundary if very long). Never throws.
void SetLastError(std::string_view message) noexcept;

// A host function called back into the library: the refusal is recorded
// for the host function to read, and forgotten by ForgetNestedRefusal when
// the outer call ends without a failure of its own.
void SetNestedRefusal(std::string_view message) noexcept;
void ForgetNestedRefusal() noexcept;

// The calling thread's text, "" when the last call succeeded.
const char* LastErrorText() noexcept;

// `text` in double quotes, as messages show names and paths.
std::string Quoted(std::string_view text);

}  // namespace kivanime
