// Locale-independent conversion of number text, with the results that the C
// library's strtod gives in the "C" locale: decimal and hexadecimal forms,
// "inf"/"infinity"/"nan"/"nan(...)" in any letter case, overflow to infinity
// and underflow toward zero. A host that switched its locale to one with a
// decimal comma must not change how a model file reads.
#pragma once

#include <cstddef>

namespace kivanime {

// Converts the longest prefix of [begin, end) that strtod would accept (no
// leading whitespace is skipped). Returns +0.0 when no prefix is a number.
// If `consumed` is not null it receives the length of that prefix.
double ConvertNumberText(const char* begin, const char* end, size_t* consumed = nullptr);

}  // namespace kivanime
