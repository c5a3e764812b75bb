#include "runtime/motion_player.h"

#include <algorithm>
#include <cmath>

#include "runtime/channel_ops.h"
#include "runtime/frame_scratch.h"

namespace kivanime {

void OverlayAccumulator::reserve(size_t partCount, size_t meshVertices) {
    if (deltas.size() < partCount) {
        deltas.resize(partCount);
        touched.resize(partCount, 0);
        touchedList.reserve(partCount);
        deformTouched.resize(partCount, 0);
        deformed.reserve(partCount);
    }
    if (deform.size() < meshVertices * 2) {
        deform.resize(meshVertices * 2, 0.0f);
    }
}

void OverlayAccumulator::clear() {
    for (int32_t part : touchedList) {
        deltas[static_cast<size_t>(part)] = PartDelta{};
        touched[static_cast<size_t>(part)] = 0;
    }
    touchedList.clear();
    for (const MeshRange& range : deformed) {
        std::fill_n(deform.begin() + 2 * static_cast<std::ptrdiff_t>(range.firstVertex),
                    2 * static_cast<std::ptrdiff_t>(range.vertexCount), 0.0f);
        deformTouched[static_cast<size_t>(range.part)] = 0;
    }
    deformed.clear();
}

float* OverlayAccumulator::deformEntry(const MotionTrack& track) {
    const size_t part = static_cast<size_t>(track.partIndex);
    if (!deformTouched[part]) {
        deformTouched[part] = 1;
        deformed.push_back({track.partIndex, track.meshFirstVertex, track.meshVertexCount});
    }
    return deform.data() + 2 * static_cast<size_t>(track.meshFirstVertex);
}

PartDelta& OverlayAccumulator::entry(int32_t part) {
    const size_t i = static_cast<size_t>(part);
    if (!touched[i]) {
        touched[i] = 1;
        touchedList.push_back(part);
    }
    return deltas[i];
}

namespace {

// The main motion restarts: clock 0 at `speed`, playing, nothing queued.
void StartMain(MotionPlayer& player, const AnimeMotion* motion, float speed) {
    player.segments.assign(motion->tracks.size(), 0);
    player.motion = motion;
    player.time = 0.0f;
    player.speed = speed;
    player.playing = true;
    player.finished = false;
    player.fresh = true;
    player.queued = {};
}

// The fade ends by itself once elapsed / duration reaches 1.
void EndFadeIfDone(CrossFade& fade) {
    if (!(fade.elapsed / fade.duration < 1.0f)) {
        fade.active = false;
    }
}

void CrossFadeTo(MotionPlayer& player, const AnimeModel& model, const AnimeMotion* motion,
                 float speed, float fadeMs) {
    const float f = fadeMs >= 0.0f ? fadeMs : motion->fadeIn;  // NaN takes fadeIn too
    CrossFade& fade = player.fade;
    if (!(f > 0.0f)) {
        fade.active = false;
        StartMain(player, motion, speed);
        return;
    }
    if (fade.active) {
        // A fade in progress is frozen as it was shown, so nothing jumps and
        // no chain of sources builds up.
        const PartDelta* shown = BlendCrossFade(fade, player.motion, player.time, player.segments,
                                                model, gFrameScratch.fade);
        fade.snapshot.assign(shown, shown + model.parts.size());
        FreezeCrossFadeDeform(fade, player.motion, player.time, player.segments, model,
                              gFrameScratch.fade);
        fade.frozen = true;
        fade.motion = nullptr;
    } else {
        // What the main motion showed goes on underneath, on its own clock.
        fade.frozen = false;
        fade.motion = player.motion;
        fade.time = player.time;
        fade.speed = player.speed;
        fade.playing = player.playing;
        fade.segments.swap(player.segments);
    }
    fade.active = true;
    fade.elapsed = 0.0f;
    fade.duration = f;
    StartMain(player, motion, speed);
}

}  // namespace

bool PlayMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed) {
    const AnimeMotion* motion = model.findMotion(name);
    if (motion == nullptr) {
        return false;
    }
    player.fade.active = false;
    StartMain(player, motion, speed);
    return true;
}

void StopMotion(MotionPlayer& player) {
    player.playing = false;
    player.finished = true;
    player.fade.active = false;
    player.queued = {};
}

bool CrossFadeMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name,
                     float speed, float fadeMs) {
    const AnimeMotion* motion = model.findMotion(name);
    if (motion == nullptr) {
        return false;
    }
    CrossFadeTo(player, model, motion, speed, fadeMs);
    return true;
}

bool QueueMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed,
                 float fadeMs) {
    const AnimeMotion* motion = model.findMotion(name);
    if (motion == nullptr) {
        return false;
    }
    if (player.motion == nullptr || !player.playing) {
        CrossFadeTo(player, model, motion, speed, fadeMs);
    } else {
        player.queued = {motion, speed, fadeMs};
    }
    return true;
}

bool FadeOverlay(MotionPlayer& player, std::string_view name, float target, float fadeMs) {
    auto slot = std::find_if(player.overlays.begin(), player.overlays.end(),
                             [&](const OverlaySlot& s) { return s.motion->name == name; });
    if (slot == player.overlays.end()) {
        return false;
    }
    const float f = fadeMs >= 0.0f          ? fadeMs
                    : target > slot->weight ? slot->motion->fadeIn
                                            : slot->motion->fadeOut;
    if (!(f > 0.0f)) {
        slot->weight = target;
        slot->fading = false;
        if (target == 0.0f) {
            player.overlays.erase(slot);
        }
        return true;
    }
    slot->fading = true;
    slot->fadeFrom = slot->weight;
    slot->fadeTo = target;
    slot->fadeElapsed = 0.0f;
    slot->fadeMs = f;
    return true;
}

bool PlayOverlay(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed,
                 float weight) {
    const AnimeMotion* motion = model.findMotion(name);
    if (motion == nullptr) {
        return false;
    }
    for (OverlaySlot& slot : player.overlays) {
        if (slot.motion == motion) {
            slot.time = 0.0f;
            slot.speed = speed;
            slot.weight = weight;
            slot.fading = false;
            slot.fresh = true;
            return true;
        }
    }
    player.overlays.push_back(
        OverlaySlot{motion, 0.0f, speed, weight, std::vector<uint16_t>(motion->tracks.size(), 0)});
    return true;
}

void StopOverlay(MotionPlayer& player, std::string_view name) {
    std::erase_if(player.overlays,
                  [&](const OverlaySlot& slot) { return slot.motion->name == name; });
}

void StopAllOverlays(MotionPlayer& player) {
    player.overlays.clear();
}

float WrapLoopClock(float time, float duration) {
    if (!(duration > 0.0f) || !(time >= duration)) {
        return time;
    }
    // The remainder, computed directly: repeated subtraction would take
    // millions of steps for a large clock and never end once subtracting the
    // duration no longer changes the value. fmod is exact, so small clocks
    // land where repeated subtraction would; the guards keep the result in
    // [0, duration) whatever rounding did.
    float wrapped = std::fmod(time, duration);
    if (!(wrapped >= 0.0f) || wrapped >= duration) {
        wrapped = 0.0f;
    }
    return wrapped;
}

void AccumulateDelta(PartDelta& sum, const PartDelta& s, float w) {
    sum.x += s.x * w;
    sum.y += s.y * w;
    sum.rotation += s.rotation * w;
    sum.scaleX *= (s.scaleX - 1.0f) * w + 1.0f;
    sum.scaleY *= (s.scaleY - 1.0f) * w + 1.0f;
    sum.alpha *= (s.alpha - 1.0f) * w + 1.0f;
    if (w >= 0.5f) {
        if (s.visible >= 0) {
            sum.visible = s.visible;
        }
        if (s.textureSwap != kNoTextureSwap) {
            sum.textureSwap = s.textureSwap;
        }
    }
}

namespace {

// Flattened so that the easing is inlined too: as a call it cost a spill and
// reload of the loop's registers per track. Kept out of line: inlined into
// the overlay loop it made the whole update larger and slower.
[[gnu::flatten, gnu::noinline]] void AccumulateOverlay(OverlayAccumulator& acc, OverlaySlot& slot) {
    const float w = slot.weight;
    const std::vector<MotionTrack>& tracks = slot.motion->tracks;
    if (w <= 0.0f || tracks.empty()) {
        return;
    }
    // A motion reloaded in place may have more tracks than when the slot
    // started: those go without a remembered segment.
    const size_t remembered = slot.segments.size();
    for (size_t k = 0; k < tracks.size(); ++k) {
        const MotionTrack& track = tracks[k];
        if (track.partIndex < 0) {
            continue;  // names no part: its sum would never be applied
        }
        PartDelta s = k < remembered ? SampleTrack(track, slot.time, slot.segments[k])
                                     : SampleTrack(track, slot.time);
        AccumulateDelta(acc.entry(track.partIndex), s, w);
    }
    // Vertex offsets, sampled where the loop above just found each track.
    for (uint32_t k : slot.motion->deformTracks) {
        const MotionTrack& track = tracks[k];
        const TrackPoint point =
            LocateTrack(track, slot.time, k < remembered ? &slot.segments[k] : nullptr);
        AddTrackDeform(track, point, w, acc.deformEntry(track));
    }
}

}  // namespace

namespace {

// A step of a motion's clock, before any wrap or clamp.
ClockStep StepOf(float time, float dt, float speed, bool fresh) {
    ClockStep step;
    step.u0 = time;
    step.u1 = time + dt * speed;
    step.speed = speed;
    step.forward = dt > 0.0f && speed > 0.0f;
    step.fresh = fresh;
    return step;
}

// The main clock's update. When the main motion ends with a motion queued,
// that one starts as if cross-faded to at that instant and is given the rest
// of the update's time, so that chained motions neither pause nor hurry.
void AdvanceMain(MotionPlayer& player, const AnimeModel& model, float dt, FrameEvents* events) {
    if (!player.playing || player.motion == nullptr) {
        return;
    }
    const AnimeMotion& motion = *player.motion;
    const float d = motion.duration;
    ClockStep step = StepOf(player.time, dt, player.speed, player.fresh);
    player.time = step.u1;
    if (motion.loop) {
        player.time = WrapLoopClock(player.time, d);
        if (d > 0.0f && step.u1 >= d) {
            step.wrapped = player.time;
            step.end =
                player.queued.motion != nullptr ? ClockStep::End::LapStops : ClockStep::End::Lap;
        }
    } else if (player.time >= d) {
        player.time = d;
        player.playing = false;
        player.finished = true;
        step.end = ClockStep::End::Finished;
    }
    player.fresh = player.fresh && !step.forward;
    if (events != nullptr && Announces(motion, step)) {
        AnnounceStep(*events, ANIME_EVENT_SOURCE_MAIN, motion, step);
    }
    const MotionPlayer::Queued next = player.queued;
    if (next.motion == nullptr || step.end == ClockStep::End::None ||
        step.end == ClockStep::End::Lap) {
        return;
    }
    const float rest = step.forward ? (step.u1 - d) / step.speed : 0.0f;
    CrossFadeTo(player, model, next.motion, next.speed, next.fadeMs);
    if (player.fade.active && rest > 0.0f) {
        player.fade.elapsed += rest;
        EndFadeIfDone(player.fade);
    }
    AdvanceMain(player, model, rest, events);
}

// Moves an overlay's weight along its fade; false once it has faded out to
// 0 (the overlay is then removed).
bool AdvanceWeightFade(OverlaySlot& slot, float dt) {
    if (dt > 0.0f) {
        slot.fadeElapsed += dt;
    }
    if (slot.fadeElapsed / slot.fadeMs < 1.0f) {
        slot.weight =
            slot.fadeFrom + (slot.fadeTo - slot.fadeFrom) * slot.fadeElapsed / slot.fadeMs;
        return true;
    }
    slot.weight = slot.fadeTo;
    slot.fading = false;
    return slot.fadeTo != 0.0f;
}

}  // namespace

void AdvancePlayer(MotionPlayer& player, const AnimeModel& model, float dt,
                   OverlayAccumulator& overlaySums, FrameEvents* events) {
    overlaySums.clear();

    CrossFade& fade = player.fade;
    if (fade.active) {
        if (dt > 0.0f) {
            fade.elapsed += dt;
        }
        EndFadeIfDone(fade);
        AdvanceOutgoing(fade, dt);
    }
    AdvanceMain(player, model, dt, events);

    for (size_t i = 0; i < player.overlays.size();) {
        OverlaySlot& slot = player.overlays[i];
        if (slot.fading && !AdvanceWeightFade(slot, dt)) {
            player.overlays.erase(player.overlays.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ClockStep step = StepOf(slot.time, dt, slot.speed, slot.fresh);
        slot.time = step.u1;
        slot.fresh = slot.fresh && !step.forward;
        const AnimeMotion& motion = *slot.motion;
        const float d = motion.duration;
        const bool ends = !motion.loop && !(slot.time < d);
        if (motion.loop) {
            slot.time = WrapLoopClock(slot.time, d);
            if (d > 0.0f && step.u1 >= d) {
                step.end = ClockStep::End::Lap;
                step.wrapped = slot.time;
            }
        } else if (ends) {
            step.end = ClockStep::End::Finished;
        }
        // Only an overlay that shows announces anything.
        if (events != nullptr && slot.weight > 0.0f && Announces(motion, step)) {
            AnnounceStep(*events, ANIME_EVENT_SOURCE_OVERLAY, motion, step);
        }
        if (ends) {
            // An ended overlay contributes nothing in the frame it ends.
            player.overlays.erase(player.overlays.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            AccumulateOverlay(overlaySums, slot);
            ++i;
        }
    }

    AdvanceExpressionWeight(player.expression, dt);
}

void ApplyDelta(PartPose& p, const PartDelta& d, const std::vector<int32_t>& textureHandles) {
    p.local.x += d.x;
    p.local.y += d.y;
    p.local.rotation += d.rotation;
    p.local.scaleX *= d.scaleX;
    p.local.scaleY *= d.scaleY;
    p.local.alpha *= d.alpha;
    if (d.visible >= 0) {
        p.visible = d.visible != 0;
    }
    if (d.textureSwap != kNoTextureSwap) {
        p.textureHandle = TextureHandleOf(d.textureSwap, textureHandles);
    }
}

namespace {

// ApplyDelta on a pose just reset to `part`'s rest values, in one write.
void SetPose(PartPose& p, const AnimePart& part, const PartDelta& d,
             const std::vector<int32_t>& textureHandles) {
    SetChannels(p.local, part.rest, d);
    p.visible = d.visible >= 0 ? d.visible != 0 : part.visible;
    if (d.textureSwap != kNoTextureSwap) {
        p.textureHandle = TextureHandleOf(d.textureSwap, textureHandles);
    }
}

void ApplyOverlaySums(const OverlayAccumulator& overlaySums,
                      const std::vector<int32_t>& textureHandles, std::vector<PartPose>& poses) {
    for (int32_t part : overlaySums.touchedList) {
        ApplyDelta(poses[static_cast<size_t>(part)], overlaySums.deltas[static_cast<size_t>(part)],
                   textureHandles);
    }
}

// `segments` is null when the player has no segment per track (a motion
// never started by name, or one reloaded with more tracks).
PartDelta SampleMainTrack(const MotionTrack& track, float time, uint16_t* segments, size_t k) {
    return segments != nullptr ? SampleTrack(track, time, segments[k]) : SampleTrack(track, time);
}

}  // namespace

[[gnu::flatten]] void ApplyMotion(MotionPlayer& player, const AnimeModel& model,
                                  const std::vector<int32_t>& textureHandles,
                                  const OverlayAccumulator& overlaySums,
                                  std::vector<PartPose>& poses) {
    // The main motion was found by name when it was played; a player that
    // never had one uses the model's motion under the empty name, if any.
    const AnimeMotion* main = player.motion != nullptr ? player.motion : model.emptyNameMotion;
    if (main == nullptr) {
        ResetLocalPose(model, poses);
        return;
    }
    if (player.fade.active && poses.size() == model.parts.size()) {
        const PartDelta* blended = BlendCrossFade(player.fade, main, player.time, player.segments,
                                                  model, gFrameScratch.fade);
        for (size_t i = 0; i < poses.size(); ++i) {
            SetPose(poses[i], model.parts[i], blended[i], textureHandles);
        }
        ApplyOverlaySums(overlaySums, textureHandles, poses);
        return;
    }
    const size_t trackCount = main->tracks.size();
    uint16_t* const segments =
        player.segments.size() >= trackCount ? player.segments.data() : nullptr;
    // Read once: the compiler cannot tell that writing a pose leaves the
    // lists and the clock alone, and would reload them for every track.
    const MotionTrack* const tracks = main->tracks.data();
    const float time = player.time;
    if (main->drivesEveryPartOnce && poses.size() == model.parts.size()) {
        const AnimePart* const parts = model.parts.data();
        PartPose* const out = poses.data();
        for (size_t k = 0; k < trackCount; ++k) {
            const int32_t part = tracks[k].partIndex;
            if (part >= 0) {
                const size_t i = static_cast<size_t>(part);
                SetPose(out[i], parts[i], SampleMainTrack(tracks[k], time, segments, k),
                        textureHandles);
            }
        }
    } else {
        ResetLocalPose(model, poses);
        for (size_t k = 0; k < trackCount; ++k) {
            const int32_t part = tracks[k].partIndex;
            if (part >= 0) {
                ApplyDelta(poses[static_cast<size_t>(part)],
                           SampleMainTrack(tracks[k], time, segments, k), textureHandles);
            }
        }
    }
    ApplyOverlaySums(overlaySums, textureHandles, poses);
}

}  // namespace kivanime
