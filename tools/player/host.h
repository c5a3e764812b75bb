// The four host functions the player hands to the library: PNG textures
// decoded with libpng, and a draw that rasterises into the current frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"
#include "kivanime.h"

namespace kivanime_player {

struct TextureFailure {
    std::string path;
    std::string reason;
};

struct HostCounters {
    long long loads = 0;     // handles handed out
    long long releases = 0;  // handles given back
    long long draws = 0;     // draw calls since the last ResetDrawCount
    long long pixels = 0;    // pixels blended since the last ResetDrawCount
};

// The callback table (loadTexture, releaseTexture, reserved, draw).
AnimeHostCallbacks HostCallbacks();

// Where draw calls paint; null makes them count but paint nothing.
void SetDrawTarget(Image* target);

// Textures that could not be loaded since the last ClearTextureFailures.
const std::vector<TextureFailure>& TextureFailures();
void ClearTextureFailures();

const HostCounters& Counters();
void ResetDrawCount();

// Every texel of every live texture laid over `background`, as straight RGB:
// a good sample of the colours a frame can show.
std::vector<uint8_t> TextureColorSamples(Color background);

// When on, every draw record is kept (with the texture's file) until the next
// ResetDrawCount, for --trace.
void SetTraceDraws(bool on);
struct TracedDraw {
    std::string texturePath;
    AnimeDrawParams params;
};
const std::vector<TracedDraw>& TracedDraws();

}  // namespace kivanime_player
