#include "runtime/cross_fade.h"

#include <algorithm>
#include <utility>

#include "runtime/channel_ops.h"
#include "runtime/motion_sample.h"

namespace kivanime {

PartDelta BlendDeltas(const PartDelta& a, const PartDelta& b, float w) {
    PartDelta out;
    InterpolateChannels(a.channels, b.channels, w, out.channels);
    const PartDelta& held = w >= 0.5f ? b : a;
    out.visible = held.visible;
    out.textureSwap = held.textureSwap;
    return out;
}

const PartDelta* BlendCrossFade(CrossFade& fade, const AnimeMotion* incoming, float time,
                                std::vector<uint16_t>& segments, const AnimeModel& model,
                                FadeScratch& scratch) {
    const size_t n = model.parts.size();
    scratch.reserve(n);
    const PartDelta* from = scratch.from.data();
    if (fade.frozen && fade.snapshot.size() >= n) {
        from = fade.snapshot.data();
    } else {
        // A player without a main motion shows the motion under the empty
        // name, if the model has one.
        MotionClock& clock = fade.outgoing;
        const AnimeMotion* outgoing = fade.frozen    ? nullptr
                                      : clock.motion ? clock.motion
                                                     : model.emptyNameMotion;
        ComposeMotion(outgoing, clock.time, clock.segments.data(), clock.segments.size(), n,
                      scratch.from.data());
    }
    PartDelta* to = scratch.to.data();
    ComposeMotion(incoming, time, segments.data(), segments.size(), n, to);
    const float w = fade.elapsed / fade.duration;
    for (size_t i = 0; i < n; ++i) {
        to[i] = BlendDeltas(from[i], to[i], w);
    }
    return to;
}

namespace {

// The outgoing source's motion when it is not frozen: a player without a
// main motion shows the motion under the empty name, if any.
const AnimeMotion* OutgoingMotion(const CrossFade& fade, const AnimeModel& model) {
    return fade.outgoing.motion != nullptr ? fade.outgoing.motion : model.emptyNameMotion;
}

bool HasSnapshotXY(const CrossFade& fade, const AnimeModel& model) {
    return fade.frozen && fade.snapshotXY.size() == model.topology.meshes.restXY.size();
}

}  // namespace

bool OutgoingDeforms(const CrossFade& fade, const AnimeModel& model) {
    if (fade.frozen) {
        return HasSnapshotXY(fade, model);
    }
    const AnimeMotion* outgoing = OutgoingMotion(fade, model);
    return outgoing != nullptr && !outgoing->deformTracks.empty();
}

void BlendCrossFadeDeform(CrossFade& fade, const AnimeModel& model, float* xy,
                          FadeScratch& scratch) {
    const std::vector<float>& rest = model.topology.meshes.restXY;
    const size_t n = rest.size();
    const float* from = rest.data();
    if (HasSnapshotXY(fade, model)) {
        from = fade.snapshotXY.data();
    } else if (OutgoingDeforms(fade, model)) {
        DeformByMotion(OutgoingMotion(fade, model), fade.outgoing.time, fade.outgoing.segments,
                       rest, false, scratch.fromXY.data());
        from = scratch.fromXY.data();
    }
    const float w = fade.elapsed / fade.duration;
    for (size_t j = 0; j < n; ++j) {
        xy[j] = from[j] + (xy[j] - from[j]) * w;
    }
}

void FreezeCrossFadeDeform(CrossFade& fade, const AnimeMotion* incoming, float time,
                           std::vector<uint16_t>& segments, const AnimeModel& model,
                           FadeScratch& scratch) {
    const std::vector<float>& rest = model.topology.meshes.restXY;
    if (rest.empty() || fade.snapshotXY.size() != rest.size()) {
        return;
    }
    scratch.reserve(model.parts.size(), rest.size() / 2);
    float* const xy = scratch.toXY.data();
    DeformByMotion(incoming, time, segments, rest, false, xy);
    BlendCrossFadeDeform(fade, model, xy, scratch);
    std::copy(xy, xy + rest.size(), fade.snapshotXY.begin());
}

void BeginCrossFade(CrossFade& fade, MotionClock& shown, float durationMs, const AnimeModel& model,
                    FadeScratch& scratch) {
    if (fade.active) {
        const PartDelta* blended =
            BlendCrossFade(fade, shown.motion, shown.time, shown.segments, model, scratch);
        fade.snapshot.assign(blended, blended + model.parts.size());
        FreezeCrossFadeDeform(fade, shown.motion, shown.time, shown.segments, model, scratch);
        std::copy(fade.mainValues.begin(), fade.mainValues.end(), fade.snapshotValues.begin());
        fade.frozen = true;
        fade.outgoing.motion = nullptr;
    } else {
        fade.frozen = false;
        std::swap(fade.outgoing, shown);
    }
    fade.active = true;
    fade.elapsed = 0.0f;
    fade.duration = durationMs;
}

void AdvanceFadeWeight(CrossFade& fade, float dt) {
    if (dt > 0.0f) {
        fade.elapsed += dt;
    }
    if (!(fade.elapsed / fade.duration < 1.0f)) {
        fade.active = false;
    }
}

void AdvanceOutgoing(CrossFade& fade, float dt) {
    if (!fade.frozen && fade.outgoing.playing && fade.outgoing.motion != nullptr) {
        AdvanceClock(fade.outgoing, dt);
    }
}

}  // namespace kivanime
