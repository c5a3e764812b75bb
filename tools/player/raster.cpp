// The player's software rasteriser: turns one draw record into pixels.
#include "image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kivanime_player {

namespace {

struct SourceRect {
    float x, y, w, h;
    int minX, minY, maxX, maxY;  // texel indices that sampling may read
};

SourceRect ResolveSource(const Image& texture, const AnimeDrawParams& p) {
    SourceRect r{p.srcX, p.srcY, p.srcWidth, p.srcHeight, 0, 0, 0, 0};
    if (!(r.w > 0.0f) || !(r.h > 0.0f) || !std::isfinite(r.x) || !std::isfinite(r.y) ||
        !std::isfinite(r.w) || !std::isfinite(r.h)) {
        r = {0, 0, static_cast<float>(texture.width), static_cast<float>(texture.height), 0, 0,
             0, 0};
    }
    r.minX = std::clamp(static_cast<int>(std::floor(r.x)), 0, texture.width - 1);
    r.minY = std::clamp(static_cast<int>(std::floor(r.y)), 0, texture.height - 1);
    r.maxX = std::clamp(static_cast<int>(std::ceil(r.x + r.w)) - 1, r.minX, texture.width - 1);
    r.maxY = std::clamp(static_cast<int>(std::ceil(r.y + r.h)) - 1, r.minY, texture.height - 1);
    return r;
}

// Bilinear sample at texel coordinates (tx, ty), where texel i covers
// [i, i + 1) and its centre is i + 0.5; indices are clamped to the rectangle.
void Sample(const Image& texture, const SourceRect& rect, float tx, float ty, float out[4]) {
    const float flx = std::floor(tx - 0.5f);
    const float fly = std::floor(ty - 0.5f);
    const float wx = tx - 0.5f - flx;
    const float wy = ty - 0.5f - fly;
    const int x0 = std::clamp(static_cast<int>(flx), rect.minX, rect.maxX);
    const int x1 = std::clamp(static_cast<int>(flx) + 1, rect.minX, rect.maxX);
    const int y0 = std::clamp(static_cast<int>(fly), rect.minY, rect.maxY);
    const int y1 = std::clamp(static_cast<int>(fly) + 1, rect.minY, rect.maxY);
    const float *a = texture.at(x0, y0), *b = texture.at(x1, y0);
    const float *c = texture.at(x0, y1), *d = texture.at(x1, y1);
    for (int i = 0; i < 4; ++i) {
        const float top = a[i] + (b[i] - a[i]) * wx;
        const float bottom = c[i] + (d[i] - c[i]) * wx;
        out[i] = top + (bottom - top) * wy;
    }
}

// The record's tint, bytes R, G, B (and A, always 255) in memory order, as
// factors.
void TintOf(const AnimeDrawParams& p, float tint[3]) {
    uint8_t bytes[4];
    std::memcpy(bytes, &p.reserved2, sizeof bytes);
    for (int i = 0; i < 3; ++i) {
        tint[i] = static_cast<float>(bytes[i]) / 255.0f;
    }
}

}  // namespace

void DrawSprite(Image& target, const Image& texture, const AnimeDrawParams& p) {
    const float alpha = std::isnan(p.alpha) ? 0.0f : std::clamp(p.alpha, 0.0f, 1.0f);
    for (const float v : {p.x, p.y, p.rotation, p.scaleX, p.scaleY, p.anchorX, p.anchorY}) {
        if (!std::isfinite(v)) {
            return;
        }
    }
    if (target.empty() || texture.empty() || p.scaleX == 0.0f || p.scaleY == 0.0f ||
        alpha <= 0.0f) {
        return;
    }
    const SourceRect rect = ResolveSource(texture, p);
    const float pivotX = p.anchorX * rect.w;
    const float pivotY = p.anchorY * rect.h;
    const float c = std::cos(p.rotation);
    const float s = std::sin(p.rotation);
    float tint[3];
    TintOf(p, tint);

    // Screen bounds of the four corners, one pixel wider for the soft edge.
    float minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (int corner = 0; corner < 4; ++corner) {
        const float sx = (((corner & 1) ? rect.w : 0.0f) - pivotX) * p.scaleX;
        const float sy = (((corner & 2) ? rect.h : 0.0f) - pivotY) * p.scaleY;
        minX = std::min(minX, p.x + c * sx - s * sy);
        maxX = std::max(maxX, p.x + c * sx - s * sy);
        minY = std::min(minY, p.y + s * sx + c * sy);
        maxY = std::max(maxY, p.y + s * sx + c * sy);
    }
    const int x0 = std::max(0, static_cast<int>(std::floor(minX)) - 1);
    const int y0 = std::max(0, static_cast<int>(std::floor(minY)) - 1);
    const int x1 = std::min(target.width - 1, static_cast<int>(std::ceil(maxX)) + 1);
    const int y1 = std::min(target.height - 1, static_cast<int>(std::ceil(maxY)) + 1);

    // Inverse mapping: screen offset d from the pivot to image coordinates
    // l = R(-rotation) d / scale + pivot. It is linear in the screen x, so
    // each row starts once and steps.
    const float invSx = 1.0f / p.scaleX;
    const float invSy = 1.0f / p.scaleY;
    for (int py = y0; py <= y1 && x0 <= x1; ++py) {
        const float dy = static_cast<float>(py) + 0.5f - p.y;
        const float dx0 = static_cast<float>(x0) + 0.5f - p.x;
        float lx = (c * dx0 + s * dy) * invSx + pivotX;
        float ly = (-s * dx0 + c * dy) * invSy + pivotY;
        float* out = target.at(x0, py);
        for (int px = x0; px <= x1; ++px, lx += c * invSx, ly += -s * invSy, out += 4) {
            // Distance to the nearest edge in screen pixels (image units times
            // |scale|); half a pixel of coverage on either side of the edge.
            const float coverX = std::min(lx, rect.w - lx) * std::fabs(p.scaleX) + 0.5f;
            const float coverY = std::min(ly, rect.h - ly) * std::fabs(p.scaleY) + 0.5f;
            if (coverX <= 0.0f || coverY <= 0.0f) {
                continue;
            }
            const float coverage = std::min(coverX, 1.0f) * std::min(coverY, 1.0f) * alpha;
            float texel[4];
            Sample(texture, rect, rect.x + std::clamp(lx, 0.0f, rect.w),
                   rect.y + std::clamp(ly, 0.0f, rect.h), texel);
            const float a = texel[3] * coverage;
            if (a <= 0.0f) {
                continue;
            }
            // The texel's colour times the tint: premultiplied, the same as
            // tinting the straight colour.
            for (int i = 0; i < 3; ++i) {
                out[i] = texel[i] * tint[i] * coverage + out[i] * (1.0f - a);
            }
            out[3] = a + out[3] * (1.0f - a);
        }
    }
}

}  // namespace kivanime_player
