#include "render/mesh_placement.h"

#include <cmath>

#include "runtime/channel_ops.h"

namespace kivanime {

void PlaceMeshVertices(const AnimeDrawParams& record, const float* __restrict xy,
                       const float* __restrict uv, size_t count, AnimeMeshVertex* __restrict out) {
    const float c = std::cos(record.rotation);
    const float s = std::sin(record.rotation);
    const float csx = c * record.scaleX;
    const float ssy = s * record.scaleY;
    const float ssx = s * record.scaleX;
    const float csy = c * record.scaleY;
    const float x = record.x;
    const float y = record.y;
    size_t k = 0;
#if defined(KIVANIME_CHANNELS_SSE2)
    // Two vertices at a time, lanes (X0, Y0, X1, Y1); a - b is computed as
    // a + (-b), which is the same operation. Each lane gives the bits of the
    // scalar form below.
    const __m128 origin = _mm_setr_ps(x, y, x, y);
    const __m128 alongX = _mm_setr_ps(csx, ssx, csx, ssx);
    const __m128 alongY = _mm_setr_ps(-ssy, csy, -ssy, csy);
    for (; k + 2 <= count; k += 2) {
        const __m128 v = _mm_loadu_ps(xy + 2 * k);  // vx0, vy0, vx1, vy1
        const __m128 vx = _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 0, 0));
        const __m128 vy = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 1, 1));
        const __m128 placed =
            _mm_add_ps(_mm_add_ps(origin, _mm_mul_ps(alongX, vx)), _mm_mul_ps(alongY, vy));
        if (uv == nullptr) {
            _mm_storel_pi(reinterpret_cast<__m64*>(&out[k].x), placed);
            _mm_storeh_pi(reinterpret_cast<__m64*>(&out[k + 1].x), placed);
        } else {
            const __m128 tex = _mm_loadu_ps(uv + 2 * k);  // u0, v0, u1, v1
            _mm_storeu_ps(&out[k].x, _mm_movelh_ps(placed, tex));
            _mm_storeu_ps(&out[k + 1].x, _mm_movehl_ps(tex, placed));
        }
    }
#endif
    for (; k < count; ++k) {
        const float vx = xy[2 * k];
        const float vy = xy[2 * k + 1];
        out[k].x = x + csx * vx - ssy * vy;
        out[k].y = y + ssx * vx + csy * vy;
        if (uv != nullptr) {
            out[k].u = uv[2 * k];
            out[k].v = uv[2 * k + 1];
        }
    }
}

}  // namespace kivanime
