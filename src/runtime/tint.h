// Colour tints: one for the instance and one per part (both white unless
// set), multiplied channel by channel and handed to the host in each draw
// record as four bytes R, G, B, A (A always 255). White packs to 0xFFFFFFFF,
// the value the record carries when nothing is tinted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivanime {

struct TintColor {
    float r = 1.0f;
    float g = 1.0f;
    float b = 1.0f;
};

inline constexpr uint32_t kWhiteTint = 0xFFFFFFFFu;

struct Tint {
    TintColor instance;
    std::vector<TintColor> parts;  // per part, once any part was tinted
    // Per part, the record's packed colour; empty while everything is white.
    std::vector<uint32_t> packed;
};

inline bool IsWhiteTint(const TintColor& c) {
    return c.r == 1.0f && c.g == 1.0f && c.b == 1.0f;
}

// A factor clamped to [0, 1]; NaN counts as 1.
inline float ClampUnit(float value) {
    const float below = value < 1.0f ? value : 1.0f;  // NaN gives 1 here
    return below > 0.0f ? below : 0.0f;
}

// Each channel clamped to [0, 1] (NaN counting as 1).
TintColor ClampTint(float r, float g, float b);

// The bytes R, G, B, 255 in memory order, each channel (in [0, 1]) times 255
// rounded to nearest.
uint32_t PackTint(const TintColor& color);

// Sets the instance's tint, or one part's of a model of `partCount` parts
// (already clamped), and packs the products again.
void SetInstanceTint(Tint& tint, size_t partCount, const TintColor& color);
void SetPartTint(Tint& tint, size_t partCount, int32_t part, const TintColor& color);

}  // namespace kivanime
