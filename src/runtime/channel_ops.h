// The per-frame arithmetic on the six animated channels (x, y, rotation,
// scaleX, scaleY, alpha) that a keyframe, a delta and a pose each hold as
// PoseChannels. On x86-64 the six go through two SSE2
// operations instead of six scalar ones; every lane performs the same
// single-precision operation, in the same order, as the scalar form below
// it, so both give the same bits (the library never contracts or fuses
// floating point). Other targets (WebAssembly, ARM) use the scalar form.
#pragma once

#include <cstddef>
#include <type_traits>

#include "model/pose_channels.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KIVANIME_CHANNELS_SSE2 1
#endif

namespace kivanime {

// The layout the vector form reads: six floats from `x` on.
static_assert(std::is_standard_layout_v<PoseChannels> && offsetof(PoseChannels, x) == 0 &&
              offsetof(PoseChannels, y) == 4 && offsetof(PoseChannels, rotation) == 8 &&
              offsetof(PoseChannels, scaleX) == 12 && offsetof(PoseChannels, scaleY) == 16 &&
              offsetof(PoseChannels, alpha) == 20 && sizeof(PoseChannels) == 24);

#if defined(KIVANIME_CHANNELS_SSE2)
namespace channels {

// The first four channels, and the last two in the low lanes (the others 0,
// so that no lane computes on stray bits).
inline __m128 LoadHead(const float* x) {
    return _mm_loadu_ps(x);
}
inline __m128 LoadTail(const float* x) {
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + 4)));
}
inline void Store(float* x, __m128 head, __m128 tail) {
    _mm_storeu_ps(x, head);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(x + 4), _mm_castps_si128(tail));
}

}  // namespace channels
#endif

// out = a + (b - a) * e, channel by channel (keyframes, or the deltas a
// cross-fade blends).
inline void InterpolateChannels(const PoseChannels& a, const PoseChannels& b, float e,
                                PoseChannels& out) {
#if defined(KIVANIME_CHANNELS_SSE2)
    using namespace channels;
    const __m128 ve = _mm_set1_ps(e);
    const __m128 a0 = LoadHead(&a.x);
    const __m128 a1 = LoadTail(&a.x);
    const __m128 head = _mm_add_ps(a0, _mm_mul_ps(_mm_sub_ps(LoadHead(&b.x), a0), ve));
    const __m128 tail = _mm_add_ps(a1, _mm_mul_ps(_mm_sub_ps(LoadTail(&b.x), a1), ve));
    Store(&out.x, head, tail);
#else
    out.x = a.x + (b.x - a.x) * e;
    out.y = a.y + (b.y - a.y) * e;
    out.rotation = a.rotation + (b.rotation - a.rotation) * e;
    out.scaleX = a.scaleX + (b.scaleX - a.scaleX) * e;
    out.scaleY = a.scaleY + (b.scaleY - a.scaleY) * e;
    out.alpha = a.alpha + (b.alpha - a.alpha) * e;
#endif
}

// pose = rest changed by d: offsets (x, y, rotation) add, factors (scales,
// alpha) multiply. `pose` may be `rest` itself.
inline void SetChannels(PoseChannels& pose, const PoseChannels& rest, const PoseChannels& d) {
#if defined(KIVANIME_CHANNELS_SSE2)
    using namespace channels;
    const __m128 r0 = LoadHead(&rest.x);
    const __m128 d0 = LoadHead(&d.x);
    // Lanes 0-2 take the sum, lane 3 (scaleX) the product.
    const __m128 productLane = _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0));
    const __m128 head = _mm_or_ps(_mm_and_ps(productLane, _mm_mul_ps(r0, d0)),
                                  _mm_andnot_ps(productLane, _mm_add_ps(r0, d0)));
    Store(&pose.x, head, _mm_mul_ps(LoadTail(&rest.x), LoadTail(&d.x)));
#else
    pose.x = rest.x + d.x;
    pose.y = rest.y + d.y;
    pose.rotation = rest.rotation + d.rotation;
    pose.scaleX = rest.scaleX * d.scaleX;
    pose.scaleY = rest.scaleY * d.scaleY;
    pose.alpha = rest.alpha * d.alpha;
#endif
}

}  // namespace kivanime
