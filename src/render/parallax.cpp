#include "render/parallax.h"

#include <algorithm>
#include <cmath>

namespace kivanime {

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kHalfPi = 1.5707963f;

float Max(float a, float b) {
    return a > b ? a : b;
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
    const float dx = item.x - s.pivotX;
    const float dy = item.y - s.pivotY;
    float d = depth - s.depthOrigin;

    float narrowX = f.narrowXFlat;
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

    item.x = k * x2 + s.pivotX;
    item.y = k * y1 + s.pivotY;
    item.scaleX = narrowX * k * item.scaleX;
    item.scaleY = f.narrowY * k * item.scaleY;
    item.rotation = item.rotation + f.rollRadians;
    item.depth = z2;
}

}  // namespace kivanime
