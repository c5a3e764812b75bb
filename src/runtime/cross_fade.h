// A cross-fade of the main motion: for a while after the switch, every part
// shows a blend of what the outgoing source and the incoming motion ask of
// it. The per-part blend lives here, in BlendDeltas, and only here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/anime_model.h"
#include "runtime/keyframes.h"
#include "runtime/motion_clock.h"

namespace kivanime {

struct CrossFade {
    bool active = false;
    float elapsed = 0.0f;   // real milliseconds since the start (dt, not dt x speed)
    float duration = 0.0f;  // more than 0
    // The outgoing source: a frozen snapshot (a fade interrupted by another),
    // or the motion that was shown, running on on the main clock it had.
    // A null motion stands for what a player without a main motion shows.
    bool frozen = false;
    MotionClock outgoing;
    std::vector<PartDelta> snapshot;  // per part, when frozen
    // The blended vertices of the model's meshes (x, y per vertex of its
    // mesh table, before the overlays), when frozen: sized when the instance
    // is created, empty for a model without meshes.
    std::vector<float> snapshotXY;
    // The parameters' side: what the main source gave each parameter at the
    // last update (NaN where neither side has a track and the host's value
    // stood in), and that, frozen, when a fade is interrupted. Both sized
    // when the instance is created.
    std::vector<float> mainValues;
    std::vector<float> snapshotValues;
};

// Working space of the blend: one delta per part for each side, and the
// vertices of every mesh for each side. One set serves every instance (see
// FrameScratch); it holds nothing from one call to the next.
struct FadeScratch {
    std::vector<PartDelta> from;
    std::vector<PartDelta> to;
    std::vector<float> fromXY;
    std::vector<float> toXY;

    void reserve(size_t parts, size_t meshVertices = 0) {
        if (from.size() < parts) {
            from.resize(parts);
            to.resize(parts);
        }
        if (fromXY.size() < meshVertices * 2) {
            fromXY.resize(meshVertices * 2);
            toXY.resize(meshVertices * 2);
        }
    }
};

// The one per-part blend: every numeric channel moves from `a` toward `b` by
// `w` (written a + (b - a) x w, so that equal deltas stay exactly equal), and
// visibility and texture swap come from `b` once w reaches 0.5.
PartDelta BlendDeltas(const PartDelta& a, const PartDelta& b, float w);

// The blended main-motion delta of every part, into scratch.to: the fade's
// outgoing source against the incoming motion at its clock, at the fade's
// weight elapsed / duration.
const PartDelta* BlendCrossFade(CrossFade& fade, const AnimeMotion* incoming, float time,
                                std::vector<uint16_t>& segments, const AnimeModel& model,
                                FadeScratch& scratch);

// The meshes' side of BlendCrossFade: `xy` holds the incoming motion's
// vertices (rest plus its offsets, every vertex of the model's mesh table),
// and each becomes the outgoing source's vertex moved toward it by the
// fade's weight, a + (b - a) x w as the channels are. `scratch` has room for
// every vertex of the model's meshes already.
void BlendCrossFadeDeform(CrossFade& fade, const AnimeModel& model, float* xy,
                          FadeScratch& scratch);

// Whether the fade's outgoing source may show a mesh off its rest place.
bool OutgoingDeforms(const CrossFade& fade, const AnimeModel& model);

// Freezes what the fade showed of the meshes into `snapshotXY`, for a fade
// about to be interrupted: the incoming motion at its clock, blended.
// Nothing for a model without meshes.
void FreezeCrossFadeDeform(CrossFade& fade, const AnimeMotion* incoming, float time,
                           std::vector<uint16_t>& segments, const AnimeModel& model,
                           FadeScratch& scratch);

// Starts a fade of `durationMs` (above 0) away from what the main clock
// `shown` shows. A fade in progress is frozen as it was shown, so that
// nothing jumps and no chain of sources builds up; otherwise the shown motion
// goes on underneath on its own clock, and `shown` is left to be restarted.
void BeginCrossFade(CrossFade& fade, MotionClock& shown, float durationMs, const AnimeModel& model,
                    FadeScratch& scratch);

// Moves the fade on by dt of real time (nothing for dt of 0 or less); it
// ends once its weight reaches 1.
void AdvanceFadeWeight(CrossFade& fade, float dt);

// Advances the outgoing motion's clock as a main clock advances (without
// announcing anything).
void AdvanceOutgoing(CrossFade& fade, float dt);

}  // namespace kivanime
