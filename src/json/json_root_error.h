// Why a text does not read as a JSON object: the one failure of the loaders.
#pragma once

#include <string>
#include <string_view>

namespace kivanime {

// "<source>:<line>:<column>: expected a JSON object, found ..." for a text
// whose top-level value is not an object. Parses the text again, with
// diagnostics, so it belongs on the failure path only.
std::string DescribeRootNotObject(std::string_view text, std::string_view source);

}  // namespace kivanime
