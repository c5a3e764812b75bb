#include "runtime/keyframes.h"

#include <cmath>
#include <cstddef>

#include "runtime/channel_ops.h"
#include "runtime/easing.h"

namespace kivanime {

namespace {

// The segment [lo, lo + 1] holding `timeMs`, for a time strictly between the
// first and the last keyframe, by bisection.
[[gnu::noinline]] size_t Bisect(const MotionKeyframe* keys, size_t n, float timeMs) {
    size_t lo = 0;
    size_t hi = n - 1;
    while (lo < hi - 1) {
        size_t mid = (lo + hi) / 2;
        if (timeMs < keys[mid].time) {
            hi = mid;
        } else {
            lo = mid;
        }
    }
    return lo;
}

inline PartDelta Sample(const MotionTrack& track, float timeMs, uint16_t* segment) {
    // A plain pointer: the compiler need not reload the vector around stores.
    const MotionKeyframe* keys = track.keyframes.data();
    const size_t n = track.keyframes.size();
    PartDelta out;
    if (n == 0) {
        return out;
    }
    if (n == 1) {
        const MotionKeyframe& k = keys[0];
        out.x = k.x;
        out.y = k.y;
        out.rotation = k.rotation;
        out.scaleX = k.scaleX;
        out.scaleY = k.scaleY;
        out.alpha = k.alpha;
        out.visible = k.visible;
        out.textureSwap = k.textureSwapIndex;
        return out;
    }

    size_t lo;
    size_t hi;
    float u = 0.0f;
    if (keys[0].time >= timeMs) {
        lo = hi = 0;
    } else if (timeMs >= keys[n - 1].time) {
        lo = hi = n - 1;
    } else {
        // Bisection ends on the one segment whose keyframe times bracket the
        // time (they ascend), so a remembered segment that still brackets
        // it, or the one after it, is the same answer. With a NaN time among
        // the keyframes (sorted last) bisection may end elsewhere: such
        // tracks always bisect.
        lo = segment != nullptr && timeMs < keys[n - 1].time ? *segment : n;
        if (lo + 1 < n && keys[lo].time <= timeMs && timeMs < keys[lo + 1].time) {
            // the same segment as last time
        } else if (lo + 2 < n && keys[lo + 1].time <= timeMs && timeMs < keys[lo + 2].time) {
            *segment = static_cast<uint16_t>(++lo);
        } else {
            lo = Bisect(keys, n, timeMs);
            if (segment != nullptr) {
                *segment = static_cast<uint16_t>(lo <= UINT16_MAX ? lo : 0);
            }
        }
        hi = lo + 1;
        float d = keys[hi].time - keys[lo].time;
        u = d > 0.0f ? (timeMs - keys[lo].time) / d : 0.0f;
    }

    float e;
    if (u <= 0.0f) {
        e = 0.0f;
    } else if (u >= 1.0f) {
        e = 1.0f;
    } else {
        e = Ease(keys[hi].easing, u);
    }

    const MotionKeyframe& a = keys[lo];
    const MotionKeyframe& b = keys[hi];
    InterpolateChannels(a, b, e, out);

    // Discrete values follow the raw fraction, not the eased one.
    const MotionKeyframe& held = u < 1.0f ? a : b;
    out.visible = held.visible;
    out.textureSwap = held.textureSwapIndex;
    return out;
}

}  // namespace

PartDelta SampleTrack(const MotionTrack& track, float timeMs) {
    return Sample(track, timeMs, nullptr);
}

PartDelta SampleTrack(const MotionTrack& track, float timeMs, uint16_t& segment) {
    return Sample(track, timeMs, &segment);
}

}  // namespace kivanime
