// PNG files through libpng, with UTF-8 paths on every platform.
#pragma once

#include <cstdio>
#include <string>

#include "image.h"

namespace kivanime_player {

// fopen for a UTF-8 path (on Windows through the UTF-16 form of the path).
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

// Reads any PNG as straight 8-bit RGBA. On failure returns false and says why
// in `error`.
bool ReadPng(const std::string& path, Rgba8Image& image, std::string& error);

// Writes straight 8-bit RGBA as a PNG (RGB when every pixel is opaque).
bool WritePng(const std::string& path, const Rgba8Image& image, std::string& error);

}  // namespace kivanime_player
