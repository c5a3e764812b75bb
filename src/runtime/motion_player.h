// Motion playback: one main motion and any number of weighted overlays, each
// on its own clock, turned every frame into changes of the part poses.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/anime_model.h"
#include "runtime/cross_fade.h"
#include "runtime/keyframes.h"
#include "runtime/motion_clock.h"
#include "runtime/motion_events.h"
#include "runtime/pose.h"

namespace kivanime {

struct OverlaySlot {
    MotionClock clock;  // its motion is never null in a live slot
    float weight = 1.0f;
    // A weight fade (FadeOverlay): from `fadeFrom` to `fadeTo` over `fadeMs`
    // milliseconds of dt.
    bool fading = false;
    float fadeFrom = 0.0f;
    float fadeTo = 0.0f;
    float fadeElapsed = 0.0f;
    float fadeMs = 0.0f;
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
    MotionClock main;
    bool finished = false;              // the main motion reached its end, or was stopped
    std::vector<OverlaySlot> overlays;  // in order of first start
    // Set while the main motion fades in over what was shown before it.
    CrossFade fade;
    // The motion that takes over when the main motion ends (QueueMotion).
    struct Queued {
        const AnimeMotion* motion = nullptr;
        float speed = 1.0f;
        float fadeMs = -1.0f;
    } queued;
};

// PlayMotion and StopMotion also end a cross-fade and drop a queued motion.
// The calls that may interrupt a cross-fade take the working space that
// freezing it needs.
bool PlayMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed);
void StopMotion(MotionPlayer& player);
// Makes the motion the main motion, fading it in over `fadeMs` of dt (less
// than 0 or NaN: its "fadeIn"); with no fade time above 0, PlayMotion. What
// was shown before keeps running underneath until the fade ends.
bool CrossFadeMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name,
                     float speed, float fadeMs, FadeScratch& scratch);
// Cross-fades to the motion once the main motion ends (a looping one at its
// next lap); at once when there is none, or it has finished or was stopped.
bool QueueMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed,
                 float fadeMs, FadeScratch& scratch);
// Moves a running overlay's weight to `target` over `fadeMs` of dt (less than
// 0 or NaN: the motion's "fadeIn" on the way up, else its "fadeOut"); an
// overlay faded to 0 is stopped. False when no overlay of that name runs.
bool FadeOverlay(MotionPlayer& player, std::string_view name, float target, float fadeMs);
bool PlayOverlay(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed,
                 float weight);
void StopOverlay(MotionPlayer& player, std::string_view name);
void StopAllOverlays(MotionPlayer& player);

// Advances the cross-fade, the main clock (starting a queued motion when it
// ends) and the overlays, and refills `overlaySums` (sized for the model's
// parts) with this frame's overlay sums. What the motions announce goes to
// `events`, when given.
void AdvancePlayer(MotionPlayer& player, const AnimeModel& model, float dt,
                   OverlayAccumulator& overlaySums, FadeScratch& fadeScratch, FrameEvents* events);

// Adds one sampled delta of an overlay into an accumulator entry.
void AccumulateDelta(PartDelta& sum, const PartDelta& sample, float weight);

// Applies a delta to a pose: offsets add, factors multiply, visibility and
// texture swaps assign.
void ApplyDelta(PartPose& pose, const PartDelta& delta, const std::vector<int32_t>& textureHandles);

// Sets every part's local pose to its rest values, then applies the main
// motion (blended during a cross-fade) and the overlay sums AdvancePlayer
// left. Without a main motion only the rest pose is written (overlays still
// run their clocks).
void ApplyMotion(MotionPlayer& player, const AnimeModel& model,
                 const std::vector<int32_t>& textureHandles, const OverlayAccumulator& overlaySums,
                 FadeScratch& fadeScratch, std::vector<PartPose>& poses);

}  // namespace kivanime
