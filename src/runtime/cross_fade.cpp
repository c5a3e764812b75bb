#include "runtime/cross_fade.h"

#include <algorithm>

#include "runtime/channel_ops.h"
#include "runtime/mesh_deform.h"
#include "runtime/motion_player.h"

namespace kivanime {

PartDelta BlendDeltas(const PartDelta& a, const PartDelta& b, float w) {
    PartDelta out;
    InterpolateChannels(a, b, w, out);
    const PartDelta& held = w >= 0.5f ? b : a;
    out.visible = held.visible;
    out.textureSwap = held.textureSwap;
    return out;
}

void ComposeMotion(const AnimeMotion* motion, float time, uint16_t* segments, size_t segmentCount,
                   size_t partCount, PartDelta* out) {
    std::fill(out, out + partCount, PartDelta{});
    if (motion == nullptr) {
        return;
    }
    const std::vector<MotionTrack>& tracks = motion->tracks;
    for (size_t k = 0; k < tracks.size(); ++k) {
        const MotionTrack& track = tracks[k];
        if (track.partIndex < 0 || static_cast<size_t>(track.partIndex) >= partCount) {
            continue;
        }
        const PartDelta s =
            k < segmentCount ? SampleTrack(track, time, segments[k]) : SampleTrack(track, time);
        PartDelta& sum = out[static_cast<size_t>(track.partIndex)];
        sum.x += s.x;
        sum.y += s.y;
        sum.rotation += s.rotation;
        sum.scaleX *= s.scaleX;
        sum.scaleY *= s.scaleY;
        sum.alpha *= s.alpha;
        if (s.visible >= 0) {
            sum.visible = s.visible;
        }
        if (s.textureSwap != kNoTextureSwap) {
            sum.textureSwap = s.textureSwap;
        }
    }
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
        const AnimeMotion* outgoing = fade.frozen   ? nullptr
                                      : fade.motion ? fade.motion
                                                    : model.emptyNameMotion;
        ComposeMotion(outgoing, fade.time, fade.segments.data(), fade.segments.size(), n,
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
    return fade.motion != nullptr ? fade.motion : model.emptyNameMotion;
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
        DeformByMotion(OutgoingMotion(fade, model), fade.time, fade.segments, rest, false,
                       scratch.fromXY.data());
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

void AdvanceOutgoing(CrossFade& fade, float dt) {
    if (fade.frozen || !fade.playing || fade.motion == nullptr) {
        return;
    }
    fade.time += dt * fade.speed;
    const float d = fade.motion->duration;
    if (fade.motion->loop) {
        fade.time = WrapLoopClock(fade.time, d);
    } else if (fade.time >= d) {
        fade.time = d;
        fade.playing = false;
    }
}

}  // namespace kivanime
