// Motion playback: one main motion and any number of weighted overlays, each
// on its own clock, turned every frame into changes of the part poses.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/anime_model.h"
#include "runtime/expression_blend.h"
#include "runtime/keyframes.h"
#include "runtime/pose.h"

namespace kivanime {

struct OverlaySlot {
    const AnimeMotion* motion = nullptr;  // never null in a live slot
    float time = 0.0f;
    float speed = 1.0f;
    float weight = 1.0f;
    // Per track, the keyframe that began the segment sampled last (as the
    // main motion's `segments`).
    std::vector<uint16_t> segments;
};

// The weighted sum of all overlays of one instance's frame, per part index.
// Only parts that some overlay track names get an entry; tracks naming no
// part contribute nothing. It is working space of the frame, not state: one
// accumulator serves every instance in turn (see FrameScratch).
struct OverlayAccumulator {
    std::vector<PartDelta> deltas;  // one per part
    std::vector<uint8_t> touched;   // 1 when the part has an entry this frame
    std::vector<int32_t> touchedList;
    // The overlays' vertex offsets: two floats per vertex of the model's
    // mesh table, 0 but for the meshes listed in `deformed`.
    struct MeshRange {
        int32_t part;
        int32_t firstVertex;
        int32_t vertexCount;
    };
    std::vector<float> deform;
    std::vector<uint8_t> deformTouched;  // per part
    std::vector<MeshRange> deformed;

    // At least room for `partCount` parts and `meshVertices` mesh vertices;
    // existing entries are kept.
    void reserve(size_t partCount, size_t meshVertices = 0);
    void clear();
    PartDelta& entry(int32_t part);
    // The offsets of the track's part, from its first vertex.
    float* deformEntry(const MotionTrack& track);
};

struct MotionPlayer {
    const AnimeMotion* motion = nullptr;
    float time = 0.0f;
    float speed = 1.0f;
    bool playing = false;
    bool finished = false;
    std::vector<OverlaySlot> overlays;  // in order of first start
    // Per track of the main motion, the keyframe that began the segment
    // sampled last (a hint that spares the search; see SampleTrack).
    std::vector<uint16_t> segments;
    ExpressionBlend expression;
};

bool PlayMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed);
void StopMotion(MotionPlayer& player);
bool PlayOverlay(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed,
                 float weight);
void StopOverlay(MotionPlayer& player, std::string_view name);
void StopAllOverlays(MotionPlayer& player);

// Wraps a looping clock into [0, duration) in bounded time. Clocks below 0,
// and durations of 0 or less, are left alone.
float WrapLoopClock(float time, float duration);

// Advances the main clock, the overlays and the expression weight, and
// refills `overlaySums` (sized for the model's parts) with this frame's
// overlay sums.
void AdvancePlayer(MotionPlayer& player, float dt, OverlayAccumulator& overlaySums);

// Adds one sampled delta of an overlay into an accumulator entry.
void AccumulateDelta(PartDelta& sum, const PartDelta& sample, float weight);

// Applies a delta to a pose: offsets add, factors multiply, visibility and
// texture swaps assign.
void ApplyDelta(PartPose& pose, const PartDelta& delta, const std::vector<int32_t>& textureHandles);

// Sets every part's local pose to its rest values, then applies the main
// motion and the overlay sums AdvancePlayer left. Without a main motion only
// the rest pose is written (overlays still run their clocks).
void ApplyMotion(MotionPlayer& player, const AnimeModel& model,
                 const std::vector<int32_t>& textureHandles, const OverlayAccumulator& overlaySums,
                 std::vector<PartPose>& poses);

}  // namespace kivanime
