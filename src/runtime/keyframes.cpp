#include "runtime/keyframes.h"

#include <algorithm>
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

// A segment of a track of at least two keyframes: the keyframes around the
// time and the raw fraction between them.
struct Segment {
    size_t lo;
    size_t hi;
    float u;
};

inline Segment FindSegment(const MotionKeyframe* keys, size_t n, float timeMs, uint16_t* segment) {
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
    return {lo, hi, u};
}

inline float EasedFraction(const MotionKeyframe* keys, const Segment& s) {
    if (s.u <= 0.0f) {
        return 0.0f;
    }
    if (s.u >= 1.0f) {
        return 1.0f;
    }
    return Ease(keys[s.hi].easing, s.u);
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
        out.channels = k.channels;
        out.visible = k.visible;
        out.textureSwap = k.textureSwapIndex;
        return out;
    }

    const Segment s = FindSegment(keys, n, timeMs, segment);
    const float e = EasedFraction(keys, s);
    const MotionKeyframe& a = keys[s.lo];
    const MotionKeyframe& b = keys[s.hi];
    InterpolateChannels(a.channels, b.channels, e, out.channels);

    // Discrete values follow the raw fraction, not the eased one.
    const MotionKeyframe& held = s.u < 1.0f ? a : b;
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

TrackPoint LocateTrack(const MotionTrack& track, float timeMs, uint16_t* segment) {
    const size_t n = track.keyframes.size();
    TrackPoint point;
    if (n < 2) {
        point.single = true;
        return point;
    }
    const Segment s = FindSegment(track.keyframes.data(), n, timeMs, segment);
    point.lo = static_cast<uint32_t>(s.lo);
    point.hi = static_cast<uint32_t>(s.hi);
    point.eased = EasedFraction(track.keyframes.data(), s);
    return point;
}

namespace {

// out[j] = base[j] + s[j] (times `weight` when kWeighted) for j below n, with
// s[j] = a[j] + (b[j] - a[j]) * e when kBlend, else a[j]; `base` may be
// `out`. Four at a time where the processor allows, each lane the scalar
// operations in their order: the same bits.
template <bool kBlend, bool kWeighted>
void DeformRun(const float* a, const float* b, float e, float weight, const float* base, float* out,
               size_t n) {
    size_t j = 0;
#if defined(KIVANIME_CHANNELS_SSE2)
    const __m128 ve = _mm_set1_ps(e);
    const __m128 vw = _mm_set1_ps(weight);
    for (; j + 4 <= n; j += 4) {
        const __m128 a4 = _mm_loadu_ps(a + j);
        __m128 s4 =
            kBlend ? _mm_add_ps(a4, _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(b + j), a4), ve)) : a4;
        if (kWeighted) {
            s4 = _mm_mul_ps(s4, vw);
        }
        _mm_storeu_ps(out + j, _mm_add_ps(_mm_loadu_ps(base + j), s4));
    }
#endif
    for (; j < n; ++j) {
        float s = kBlend ? a[j] + (b[j] - a[j]) * e : a[j];
        if (kWeighted) {
            s = s * weight;
        }
        out[j] = base[j] + s;
    }
}

// As DeformRun; a weight of 1 changes no value, so it is not applied.
template <bool kBlend>
void DeformRun(const float* a, const float* b, float e, float weight, const float* base, float* out,
               size_t n) {
    if (weight == 1.0f) {
        DeformRun<kBlend, false>(a, b, e, weight, base, out, n);
    } else {
        DeformRun<kBlend, true>(a, b, e, weight, base, out, n);
    }
}

}  // namespace

void AddTrackDeform(const MotionTrack& track, const TrackPoint& point, float weight, float* xy) {
    if (track.deforms.empty()) {
        return;
    }
    const float* const values = track.deformValues.data();
    if (point.single) {
        const KeyframeDeform& k = track.deforms[0];
        float* const out = xy + 2 * static_cast<size_t>(k.vertex);
        DeformRun<false>(values + k.first, nullptr, 0.0f, weight, out, out,
                         2 * static_cast<size_t>(k.count));
        return;
    }
    const KeyframeDeform& a = track.deforms[point.lo];
    const KeyframeDeform& b = track.deforms[point.hi];
    const float e = point.eased;
    if (a.vertex == b.vertex && a.count == b.count) {
        // Both keyframes move the same vertices: the common case.
        float* const out = xy + 2 * static_cast<size_t>(a.vertex);
        DeformRun<true>(values + a.first, values + b.first, e, weight, out, out,
                        2 * static_cast<size_t>(a.count));
        return;
    }
    // A vertex one keyframe leaves alone is at offset 0 there.
    const auto offset = [values](const KeyframeDeform& k, uint32_t v, uint32_t axis) {
        return v >= k.vertex && v - k.vertex < k.count ? values[k.first + 2 * (v - k.vertex) + axis]
                                                       : 0.0f;
    };
    const uint32_t from = a.count == 0   ? b.vertex
                          : b.count == 0 ? a.vertex
                                         : std::min(a.vertex, b.vertex);
    const uint32_t to = std::max(a.vertex + a.count, b.vertex + b.count);
    for (uint32_t v = from; v < to; ++v) {
        const bool inA = v >= a.vertex && v - a.vertex < a.count;
        const bool inB = v >= b.vertex && v - b.vertex < b.count;
        if (!inA && !inB) {
            continue;
        }
        for (uint32_t axis = 0; axis < 2; ++axis) {
            const float va = offset(a, v, axis);
            const float vb = offset(b, v, axis);
            const float blended = va + (vb - va) * e;
            xy[2 * static_cast<size_t>(v) + axis] += weight == 1.0f ? blended : blended * weight;
        }
    }
}

void SetTrackDeform(const MotionTrack& track, const TrackPoint& point, const float* rest,
                    float* xy) {
    const float* const values = track.deformValues.data();
    const size_t n = 2 * static_cast<size_t>(track.meshVertexCount);
    if (point.single) {
        DeformRun<false>(values + track.deforms[0].first, nullptr, 0.0f, 1.0f, rest, xy, n);
    } else {
        DeformRun<true>(values + track.deforms[point.lo].first,
                        values + track.deforms[point.hi].first, point.eased, 1.0f, rest, xy, n);
    }
}

}  // namespace kivanime
