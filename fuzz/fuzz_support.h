// Shared pieces of the fuzz harnesses: a checking host, scratch files, and
// the frames that run loaded data through update and render.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The entry point every harness defines (libFuzzer's name).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace kivanime::fuzz {

// Stops the process with a message, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* what);

// Shuts the library down, checks that every texture handed out came back
// exactly once, and installs the checking host.
void ResetLibrary();

// Shuts the library down and checks that every texture came back.
void FinishLibrary();

// Writes `size` bytes to a file of this process's scratch folder and returns
// its path (the same path for the same name).
std::string WriteScratch(const char* name, const uint8_t* data, size_t size);
std::string WriteScratch(const char* name, std::string_view text);

// Keys of the object under `key` of the top-level object (at most `limit`),
// read with the library's own reader: the names a model file gives its
// inline motions or expressions.
std::vector<std::string> MemberNames(std::string_view json, std::string_view key, size_t limit);

// The "name" a motion or expression file gives itself, as the loaders read it.
std::string FileName(std::string_view json);

// Updates and renders a handful of frames with assorted time steps, with the
// 3D parallax switched on for `id3d` halfway through.
void RunFrames(uint32_t id3d);

// A model with textures, a hierarchy, springs, inline motions and
// expressions, for the harnesses that fuzz the motion and expression files.
extern const char* const kBaseModel;

}  // namespace kivanime::fuzz
