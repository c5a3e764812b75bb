#include "runtime/motion_player.h"

#include <cmath>

namespace kivanime {

void OverlayAccumulator::resize(size_t partCount) {
    deltas.assign(partCount, PartDelta{});
    touched.assign(partCount, 0);
    touchedList.clear();
    touchedList.reserve(partCount);
}

void OverlayAccumulator::clear() {
    for (int32_t part : touchedList) {
        deltas[static_cast<size_t>(part)] = PartDelta{};
        touched[static_cast<size_t>(part)] = 0;
    }
    touchedList.clear();
}

PartDelta& OverlayAccumulator::entry(int32_t part) {
    const size_t i = static_cast<size_t>(part);
    if (!touched[i]) {
        touched[i] = 1;
        touchedList.push_back(part);
    }
    return deltas[i];
}

bool PlayMotion(MotionPlayer& player, const AnimeModel& model, std::string_view name, float speed) {
    const AnimeMotion* motion = model.findMotion(name);
    if (motion == nullptr) {
        return false;
    }
    player.motion = motion;
    player.time = 0.0f;
    player.speed = speed;
    player.playing = true;
    player.finished = false;
    return true;
}

void StopMotion(MotionPlayer& player) {
    player.playing = false;
    player.finished = true;
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
            return true;
        }
    }
    player.overlays.push_back(OverlaySlot{motion, 0.0f, speed, weight});
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

void AccumulateOverlay(OverlayAccumulator& acc, const OverlaySlot& slot) {
    const float w = slot.weight;
    if (w <= 0.0f || slot.motion->tracks.empty()) {
        return;
    }
    for (const MotionTrack& track : slot.motion->tracks) {
        if (track.partIndex < 0) {
            continue;  // names no part: its sum would never be applied
        }
        PartDelta s = SampleTrack(track, slot.time);
        AccumulateDelta(acc.entry(track.partIndex), s, w);
    }
}

}  // namespace

void AdvancePlayer(MotionPlayer& player, float dt) {
    player.overlayDeltas.clear();

    if (player.playing && player.motion != nullptr) {
        player.time += dt * player.speed;
        const float d = player.motion->duration;
        if (player.motion->loop) {
            player.time = WrapLoopClock(player.time, d);
        } else if (player.time >= d) {
            player.time = d;
            player.playing = false;
            player.finished = true;
        }
    }

    for (size_t i = 0; i < player.overlays.size();) {
        OverlaySlot& slot = player.overlays[i];
        slot.time += dt * slot.speed;
        const float d = slot.motion->duration;
        if (slot.motion->loop) {
            slot.time = WrapLoopClock(slot.time, d);
            AccumulateOverlay(player.overlayDeltas, slot);
            ++i;
        } else if (slot.time < d) {
            AccumulateOverlay(player.overlayDeltas, slot);
            ++i;
        } else {
            // An ended overlay contributes nothing in the frame it ends.
            player.overlays.erase(player.overlays.begin() + static_cast<std::ptrdiff_t>(i));
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

void ApplyMotion(const MotionPlayer& player, const AnimeModel& model,
                 const std::vector<int32_t>& textureHandles, std::vector<PartPose>& poses) {
    // The main motion is found by name; a player that never had one finds
    // the motion stored under the empty name, if the model has one.
    const AnimeMotion* main = player.motion != nullptr ? player.motion : model.emptyNameMotion;
    if (main == nullptr) {
        return;
    }
    for (const MotionTrack& track : main->tracks) {
        if (track.partIndex < 0) {
            continue;
        }
        ApplyDelta(poses[static_cast<size_t>(track.partIndex)], SampleTrack(track, player.time),
                   textureHandles);
    }
    const OverlayAccumulator& acc = player.overlayDeltas;
    for (int32_t part : acc.touchedList) {
        ApplyDelta(poses[static_cast<size_t>(part)], acc.deltas[static_cast<size_t>(part)],
                   textureHandles);
    }
}

}  // namespace kivanime
