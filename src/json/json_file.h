// Whole-file JSON reading.
#pragma once

#include <string>

#include "json/json_value.h"

namespace kivanime {

// Reads the whole file in binary mode into `out`. Returns false when it
// cannot be opened or read; then a non-null `missing` tells whether that was
// because nothing is at the path (rather than a file that exists but cannot
// be read). On Windows a UTF-8 path with non-ASCII bytes that the narrow
// (code page) open cannot find is retried in its UTF-16 form.
bool ReadFileBytes(const std::string& path, std::string& out, bool* missing = nullptr);

// True when ReadFileBytes could open the file at `path`, without reading it.
bool CanOpenFile(const std::string& path);

// Parses the file at `path`; a file that cannot be read gives Null.
JsonValue ReadJsonFile(const std::string& path);

}  // namespace kivanime
