#include "render/parallax.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace kivanime {

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kHalfPi = 1.5707963f;

float Max(float a, float b) {
    return a > b ? a : b;
}

// Bends the picture plane onto a cylinder: moves the depth offset `d` of a
// part at (dx, dy) from the pivot and sets its width factor.
void Bend(const Parallax3D& s, const ParallaxFrame& f, float dx, float dy, float& d,
          float& narrowX) {
    const float r = s.curveRadiusX;
    if (r > 1.0f) {
        float phi;
        if (r * r > dx * dx) {
            d = d + (std::sqrt(r * r - dx * dx) - r);
            phi = std::asin(dx / r);
        } else {
            d = d - r;
            phi = dx > 0.0f ? kHalfPi : -kHalfPi;
        }
        narrowX = Max(0.05f, std::fabs(std::cos(phi + f.yawRadians)));
    }
    const float q = s.curveRadiusY;
    if (q > 1.0f) {
        if (q * q > dy * dy) {
            d = d + (std::sqrt(q * q - dy * dy) - q);
        } else {
            d = d - q;
        }
    }
}

bool Bent(const Parallax3D& s) {
    return s.curveRadiusX > 1.0f || s.curveRadiusY > 1.0f;
}

}  // namespace

ParallaxFrame PrepareParallax(const Parallax3D& s) {
    ParallaxFrame f;
    const float a = s.yaw * kDegToRad;
    const float b = s.pitch * kDegToRad;
    const float c = s.roll * kDegToRad;
    f.yawRadians = a;
    f.rollRadians = c;
    f.cosA = std::cos(a);
    f.sinA = std::sin(a);
    f.cosB = std::cos(b);
    f.sinB = std::sin(b);
    f.cosC = std::cos(c);
    f.sinC = std::sin(c);
    f.narrowY = Max(0.05f, std::fabs(f.cosB));
    // With no horizontal curvature the angle is 0 + A, which is A itself
    // (bar the sign of a zero, which cos ignores).
    f.narrowXFlat = Max(0.05f, std::fabs(f.cosA));
    const float p = Max(0.0f, s.perspectiveStrength);
    f.perspective = p > 0.0001f;
    if (f.perspective) {
        f.focal = Max(50.0f, s.focalDistance) / p;
    }
    return f;
}

void ApplyParallax(const Parallax3D& s, const ParallaxFrame& f, float depth, DrawItem& item) {
    PoseChannels& pose = item.pose;
    const float dx = pose.x - s.pivotX;
    const float dy = pose.y - s.pivotY;
    float d = depth - s.depthOrigin;
    float narrowX = f.narrowXFlat;
    if (Bent(s)) {
        Bend(s, f, dx, dy, d, narrowX);
    }

    const float z0 = Max(0.0f, s.depthStrength) * d;
    const float rx = dx * f.cosC - dy * f.sinC;
    const float ry = dy * f.cosC + dx * f.sinC;
    const float y1 = ry * f.cosB - z0 * f.sinB;
    const float z1 = z0 * f.cosB + ry * f.sinB;
    const float x2 = z1 * f.sinA + rx * f.cosA;
    const float z2 = z1 * f.cosA - rx * f.sinA;

    float k = 1.0f;
    if (f.perspective) {
        const float focal = f.focal;
        const float a = (focal - z2 > 1.0f) ? focal / (focal - z2) : focal;
        const float b = (focal - z0 > 1.0f) ? focal / (focal - z0) : focal;
        k = a / b;
    }

    pose.x = k * x2 + s.pivotX;
    pose.y = k * y1 + s.pivotY;
    pose.scaleX = narrowX * k * pose.scaleX;
    pose.scaleY = f.narrowY * k * pose.scaleY;
    pose.rotation = pose.rotation + f.rollRadians;
    item.depth = z2;
}

namespace {

#if defined(__SSE__)
// The list's arrays, read once: the vector stores below may alias anything,
// so pointers read through the list would be read again after each.
struct Columns {
    float *x, *y, *depth, *scaleX, *scaleY, *rotation, *narrowX;
};

// The per-instance terms, each in all four lanes.
struct Terms4 {
    __m128 pivotX, pivotY, depthOrigin, depthScale;
    __m128 cosA, sinA, cosB, sinB, cosC, sinC;
    __m128 focal, narrowX, narrowY, roll, one;
};

Terms4 Broadcast(const Parallax3D& s, const ParallaxFrame& f) {
    return {_mm_set1_ps(s.pivotX),      _mm_set1_ps(s.pivotY),
            _mm_set1_ps(s.depthOrigin), _mm_set1_ps(Max(0.0f, s.depthStrength)),
            _mm_set1_ps(f.cosA),        _mm_set1_ps(f.sinA),
            _mm_set1_ps(f.cosB),        _mm_set1_ps(f.sinB),
            _mm_set1_ps(f.cosC),        _mm_set1_ps(f.sinC),
            _mm_set1_ps(f.focal),       _mm_set1_ps(f.narrowXFlat),
            _mm_set1_ps(f.narrowY),     _mm_set1_ps(f.rollRadians),
            _mm_set1_ps(1.0f)};
}

// focal / (focal - z) where focal - z > 1, else focal. The division of a
// lane whose value is not taken may overflow; it is dropped.
__m128 PerspectiveTerm(__m128 focal, __m128 z, __m128 one) {
    const __m128 t = _mm_sub_ps(focal, z);
    const __m128 use = _mm_cmpgt_ps(t, one);
    return _mm_or_ps(_mm_and_ps(use, _mm_div_ps(focal, t)), _mm_andnot_ps(use, focal));
}

// Four slots from `j` on. Each lane runs the per-part formula above,
// operation by operation: lane-wise IEEE single-precision arithmetic rounds
// exactly as the scalar code does (no fused multiply-add; the library builds
// with -ffp-contract=off), so every bit agrees. With the plane bent, `depth`
// already holds each part's depth offset and `narrowX` its width factor,
// both from Bend.
template <bool kBent>
void ApplyParallax4(const Terms4& t, bool perspective, const Columns& c, size_t j) {
    float* const x = c.x + j;
    float* const y = c.y + j;
    float* const depth = c.depth + j;
    float* const scaleX = c.scaleX + j;
    float* const scaleY = c.scaleY + j;
    float* const rotation = c.rotation + j;
    const __m128 dx = _mm_sub_ps(_mm_loadu_ps(x), t.pivotX);
    const __m128 dy = _mm_sub_ps(_mm_loadu_ps(y), t.pivotY);
    const __m128 d = kBent ? _mm_loadu_ps(depth) : _mm_sub_ps(_mm_loadu_ps(depth), t.depthOrigin);
    const __m128 z0 = _mm_mul_ps(t.depthScale, d);
    const __m128 rx = _mm_sub_ps(_mm_mul_ps(dx, t.cosC), _mm_mul_ps(dy, t.sinC));
    const __m128 ry = _mm_add_ps(_mm_mul_ps(dy, t.cosC), _mm_mul_ps(dx, t.sinC));
    const __m128 y1 = _mm_sub_ps(_mm_mul_ps(ry, t.cosB), _mm_mul_ps(z0, t.sinB));
    const __m128 z1 = _mm_add_ps(_mm_mul_ps(z0, t.cosB), _mm_mul_ps(ry, t.sinB));
    const __m128 x2 = _mm_add_ps(_mm_mul_ps(z1, t.sinA), _mm_mul_ps(rx, t.cosA));
    const __m128 z2 = _mm_sub_ps(_mm_mul_ps(z1, t.cosA), _mm_mul_ps(rx, t.sinA));
    __m128 k = t.one;
    if (perspective) {
        k = _mm_div_ps(PerspectiveTerm(t.focal, z2, t.one), PerspectiveTerm(t.focal, z0, t.one));
    }
    _mm_storeu_ps(x, _mm_add_ps(_mm_mul_ps(k, x2), t.pivotX));
    _mm_storeu_ps(y, _mm_add_ps(_mm_mul_ps(k, y1), t.pivotY));
    const __m128 narrowX = kBent ? _mm_loadu_ps(c.narrowX + j) : t.narrowX;
    _mm_storeu_ps(scaleX, _mm_mul_ps(_mm_mul_ps(narrowX, k), _mm_loadu_ps(scaleX)));
    _mm_storeu_ps(scaleY, _mm_mul_ps(_mm_mul_ps(t.narrowY, k), _mm_loadu_ps(scaleY)));
    _mm_storeu_ps(rotation, _mm_add_ps(_mm_loadu_ps(rotation), t.roll));
    _mm_storeu_ps(depth, z2);
}
#endif

}  // namespace

void ApplyParallax(const Parallax3D& s, const ParallaxFrame& f, DrawList& list) {
    size_t j = 0;
#if defined(__SSE__)
    const size_t count4 = list.count / 4 * 4;
    const Terms4 terms = Broadcast(s, f);
    const Columns columns{list.x.data(),      list.y.data(),      list.depth.data(),
                          list.scaleX.data(), list.scaleY.data(), list.rotation.data(),
                          list.narrowX.data()};
    if (Bent(s)) {
        // The square roots, arcsines and cosines of the bend part by part,
        // the rest four at a time.
        for (size_t i = 0; i < count4; ++i) {
            float d = columns.depth[i] - s.depthOrigin;
            float narrowX = f.narrowXFlat;
            Bend(s, f, columns.x[i] - s.pivotX, columns.y[i] - s.pivotY, d, narrowX);
            columns.depth[i] = d;
            columns.narrowX[i] = narrowX;
        }
        for (; j < count4; j += 4) {
            ApplyParallax4<true>(terms, f.perspective, columns, j);
        }
    } else {
        for (; j < count4; j += 4) {
            ApplyParallax4<false>(terms, f.perspective, columns, j);
        }
    }
#endif
    for (; j < list.count; ++j) {
        DrawItem item = list.get(j);
        ApplyParallax(s, f, item.depth, item);
        list.set(j, item);
    }
}

}  // namespace kivanime
