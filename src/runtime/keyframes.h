// Sampling a motion track at a time.
#pragma once

#include <cstdint>

#include "model/anime_motion.h"
#include "model/pose_channels.h"

namespace kivanime {

// What a motion asks of one part at one time. The neutral delta changes
// nothing when applied.
struct PartDelta {
    PoseChannels channels;  // offsets and factors
    int32_t visible = -1;   // negative: no override; 0 hides; other shows
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

// Where a track stands at a time, as SampleTrack finds it: the keyframes
// around the time and the eased fraction between them. A track of one
// keyframe gives that keyframe's values as they are (`single`).
struct TrackPoint {
    uint32_t lo = 0;
    uint32_t hi = 0;
    float eased = 0.0f;
    bool single = false;
};

// `segment`, when not null, is the hint of the SampleTrack overload above.
// The track has at least one keyframe.
TrackPoint LocateTrack(const MotionTrack& track, float timeMs, uint16_t* segment);

// Adds the track's vertex offsets at `point`, times `weight`, to `xy`: two
// floats per vertex of the part's mesh, from its first vertex. Each offset
// is sampled as the numeric channels are, a + (b - a) * eased, where a
// keyframe that leaves a vertex alone offsets it by 0; vertices neither
// keyframe moves are not touched. A track without offsets adds nothing.
void AddTrackDeform(const MotionTrack& track, const TrackPoint& point, float weight, float* xy);

// xy = rest + the track's offsets at `point`, over the part's whole mesh
// (the same values as copying `rest` to `xy` and AddTrackDeform with weight
// 1), for a track whose every keyframe moves every vertex
// (`deformsWholeMesh`).
void SetTrackDeform(const MotionTrack& track, const TrackPoint& point, const float* rest,
                    float* xy);

}  // namespace kivanime
