#include "runtime/motion_player.h"

#include <algorithm>

#include "runtime/channel_ops.h"

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
    StartClock(player.main, motion, speed);
    player.finished = false;
    player.queued = {};
}

void CrossFadeTo(MotionPlayer& player, const AnimeModel& model, const AnimeMotion* motion,
                 float speed, float fadeMs, FadeScratch& scratch) {
    const float f = fadeMs >= 0.0f ? fadeMs : motion->fadeIn;  // NaN takes fadeIn too
    if (f > 0.0f) {
        BeginCrossFade(player.fade, player.main, f, model, scratch);
    } else {
        player.fade.active = false;
    }
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
    player.main.playing = false;
    player.finished = true;
    player.fade.active = false;
    player.queued = {};
}

bool CrossFadeMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name,
                     float speed, float fadeMs, FadeScratch& scratch) {
    const AnimeMotion* motion = model.findMotion(name);
    if (motion == nullptr) {
        return false;
    }
    CrossFadeTo(player, model, motion, speed, fadeMs, scratch);
    return true;
}

bool QueueMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed,
                 float fadeMs, FadeScratch& scratch) {
    const AnimeMotion* motion = model.findMotion(name);
    if (motion == nullptr) {
        return false;
    }
    if (player.main.motion == nullptr || !player.main.playing) {
        CrossFadeTo(player, model, motion, speed, fadeMs, scratch);
    } else {
        player.queued = {motion, speed, fadeMs};
    }
    return true;
}

bool FadeOverlay(MotionPlayer& player, std::string_view name, float target, float fadeMs) {
    auto slot = std::find_if(player.overlays.begin(), player.overlays.end(),
                             [&](const OverlaySlot& s) { return s.clock.motion->name == name; });
    if (slot == player.overlays.end()) {
        return false;
    }
    const AnimeMotion& motion = *slot->clock.motion;
    const float f = fadeMs >= 0.0f          ? fadeMs
                    : target > slot->weight ? motion.fadeIn
                                            : motion.fadeOut;
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
    auto slot = std::find_if(player.overlays.begin(), player.overlays.end(),
                             [&](const OverlaySlot& s) { return s.clock.motion == motion; });
    if (slot == player.overlays.end()) {
        slot = player.overlays.emplace(slot);
    }
    StartClock(slot->clock, motion, speed);
    slot->weight = weight;
    slot->fading = false;
    return true;
}

void StopOverlay(MotionPlayer& player, std::string_view name) {
    std::erase_if(player.overlays,
                  [&](const OverlaySlot& slot) { return slot.clock.motion->name == name; });
}

void StopAllOverlays(MotionPlayer& player) {
    player.overlays.clear();
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
    MotionClock& clock = slot.clock;
    const std::vector<MotionTrack>& tracks = clock.motion->tracks;
    if (w <= 0.0f || tracks.empty()) {
        return;
    }
    // A motion reloaded in place may have more tracks than when the slot
    // started: those go without a remembered segment.
    const size_t remembered = clock.segments.size();
    for (size_t k = 0; k < tracks.size(); ++k) {
        const MotionTrack& track = tracks[k];
        if (track.partIndex < 0) {
            continue;  // names no part: its sum would never be applied
        }
        PartDelta s = k < remembered ? SampleTrack(track, clock.time, clock.segments[k])
                                     : SampleTrack(track, clock.time);
        AccumulateDelta(acc.entry(track.partIndex), s, w);
    }
    // Vertex offsets, sampled where the loop above just found each track.
    for (uint32_t k : clock.motion->deformTracks) {
        const MotionTrack& track = tracks[k];
        const TrackPoint point =
            LocateTrack(track, clock.time, k < remembered ? &clock.segments[k] : nullptr);
        AddTrackDeform(track, point, w, acc.deformEntry(track));
    }
}

}  // namespace

namespace {

// The main clock's update. When the main motion ends with a motion queued,
// that one starts as if cross-faded to at that instant and is given the rest
// of the update's time, so that chained motions neither pause nor hurry.
void AdvanceMain(MotionPlayer& player, const AnimeModel& model, float dt, FadeScratch& fadeScratch,
                 FrameEvents* events) {
    if (!player.main.playing || player.main.motion == nullptr) {
        return;
    }
    const AnimeMotion& motion = *player.main.motion;
    ClockStep step = AdvanceClock(player.main, dt);
    if (step.end == ClockStep::End::Lap && player.queued.motion != nullptr) {
        step.end = ClockStep::End::LapStops;
    }
    player.finished = player.finished || step.end == ClockStep::End::Finished;
    if (events != nullptr && Announces(motion, step)) {
        AnnounceStep(*events, kSourceMain, motion, step);
    }
    const MotionPlayer::Queued next = player.queued;
    if (next.motion == nullptr || step.end == ClockStep::End::None ||
        step.end == ClockStep::End::Lap) {
        return;
    }
    const float rest = step.forward ? (step.u1 - motion.duration) / step.speed : 0.0f;
    CrossFadeTo(player, model, next.motion, next.speed, next.fadeMs, fadeScratch);
    if (player.fade.active && rest > 0.0f) {
        AdvanceFadeWeight(player.fade, rest);
    }
    AdvanceMain(player, model, rest, fadeScratch, events);
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
                   OverlayAccumulator& overlaySums, FadeScratch& fadeScratch, FrameEvents* events) {
    overlaySums.clear();

    if (player.fade.active) {
        AdvanceFadeWeight(player.fade, dt);
        AdvanceOutgoing(player.fade, dt);
    }
    AdvanceMain(player, model, dt, fadeScratch, events);

    for (size_t i = 0; i < player.overlays.size();) {
        OverlaySlot& slot = player.overlays[i];
        if (slot.fading && !AdvanceWeightFade(slot, dt)) {
            player.overlays.erase(player.overlays.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        const AnimeMotion& motion = *slot.clock.motion;
        ClockStep step = AdvanceClock(slot.clock, dt);
        // A NaN clock ends an overlay too.
        const bool ends = !motion.loop && !(slot.clock.time < motion.duration);
        if (ends) {
            step.end = ClockStep::End::Finished;
        }
        // Only an overlay that shows announces anything.
        if (events != nullptr && slot.weight > 0.0f && Announces(motion, step)) {
            AnnounceStep(*events, kSourceOverlay, motion, step);
        }
        if (ends) {
            // An ended overlay contributes nothing in the frame it ends.
            player.overlays.erase(player.overlays.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            AccumulateOverlay(overlaySums, slot);
            ++i;
        }
    }
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
                                  const OverlayAccumulator& overlaySums, FadeScratch& fadeScratch,
                                  std::vector<PartPose>& poses) {
    // The main motion was found by name when it was played; a player that
    // never had one uses the model's motion under the empty name, if any.
    MotionClock& clock = player.main;
    const AnimeMotion* main = clock.motion != nullptr ? clock.motion : model.emptyNameMotion;
    if (main == nullptr) {
        ResetLocalPose(model, poses);
        return;
    }
    if (player.fade.active && poses.size() == model.parts.size()) {
        const PartDelta* blended =
            BlendCrossFade(player.fade, main, clock.time, clock.segments, model, fadeScratch);
        for (size_t i = 0; i < poses.size(); ++i) {
            SetPose(poses[i], model.parts[i], blended[i], textureHandles);
        }
        ApplyOverlaySums(overlaySums, textureHandles, poses);
        return;
    }
    const size_t trackCount = main->tracks.size();
    uint16_t* const segments =
        clock.segments.size() >= trackCount ? clock.segments.data() : nullptr;
    // Read once: the compiler cannot tell that writing a pose leaves the
    // lists and the clock alone, and would reload them for every track.
    const MotionTrack* const tracks = main->tracks.data();
    const float time = clock.time;
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
