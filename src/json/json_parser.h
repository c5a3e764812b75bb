// The lenient JSON reader. It never fails: whatever the bytes are, it returns
// one value, built as far as the text allows, so that files which are
// slightly off (a missing comma or colon, a trailing comma, a truncated end)
// still load the way they always have. Valid JSON reads exactly as a strict
// reader would read it.
#pragma once

#include <string_view>

#include "json/json_diagnostics.h"
#include "json/json_value.h"

namespace kivanime {

// Arrays and objects nested deeper than this read as Null (the formats need
// eight levels); the skipped text is passed over without recursion.
inline constexpr int kJsonMaxDepth = 512;

// Parses one value starting at the first non-whitespace byte; anything after
// the first complete value is ignored.
JsonValue ParseJson(std::string_view text);

// The same parse, recording in `diagnostics` (when not null) what the reader
// skipped or repaired and where every value starts. The value is the same.
JsonValue ParseJson(std::string_view text, JsonDiagnostics* diagnostics);

}  // namespace kivanime
