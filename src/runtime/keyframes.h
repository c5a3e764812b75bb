// Sampling a motion track at a time.
#pragma once

#include <cstdint>

#include "model/anime_motion.h"

namespace kivanime {

// What a motion asks of one part at one time. The neutral delta changes
// nothing when applied.
struct PartDelta {
    float x = 0.0f;
    float y = 0.0f;
    float rotation = 0.0f;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float alpha = 1.0f;
    int32_t visible = -1;  // negative: no override; 0 hides; other shows
    int32_t textureSwap =
        kNoTextureSwap;  // texture index, or kNoTextureSwap / kSwapToUnknownTexture
};

// The track's values at `timeMs`: before the first keyframe the first holds,
// after the last the last holds; in between the later keyframe's easing
// shapes the segment. Visibility and texture swaps switch at keyframe times.
PartDelta SampleTrack(const MotionTrack& track, float timeMs);

// The same, starting from `segment`, the index of the keyframe that began
// the segment sampled last, and leaving the segment found in it. A player's
// clock moves forward, so the segment is most often the same one or the next:
// one or two comparisons instead of a bisection. The remembered index is only
// a hint: whatever it holds (a wrapped clock, a replaced motion), the result
// is exactly what SampleTrack gives.
PartDelta SampleTrack(const MotionTrack& track, float timeMs, uint16_t& segment);

}  // namespace kivanime
