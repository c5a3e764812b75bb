#include "raster.h"

#include <algorithm>
#include <cmath>

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
        r = {
            0.0f, 0.0f, static_cast<float>(texture.width), static_cast<float>(texture.height), 0, 0,
            0,    0};
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
    const float fx = tx - 0.5f;
    const float fy = ty - 0.5f;
    const float flx = std::floor(fx);
    const float fly = std::floor(fy);
    const float wx = fx - flx;
    const float wy = fy - fly;
    const int x0 = std::clamp(static_cast<int>(flx), rect.minX, rect.maxX);
    const int x1 = std::clamp(static_cast<int>(flx) + 1, rect.minX, rect.maxX);
    const int y0 = std::clamp(static_cast<int>(fly), rect.minY, rect.maxY);
    const int y1 = std::clamp(static_cast<int>(fly) + 1, rect.minY, rect.maxY);
    const float* a = texture.at(x0, y0);
    const float* b = texture.at(x1, y0);
    const float* c = texture.at(x0, y1);
    const float* d = texture.at(x1, y1);
    for (int i = 0; i < 4; ++i) {
        const float top = a[i] + (b[i] - a[i]) * wx;
        const float bottom = c[i] + (d[i] - c[i]) * wx;
        out[i] = top + (bottom - top) * wy;
    }
}

bool Finite(const AnimeDrawParams& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.rotation) &&
           std::isfinite(p.scaleX) && std::isfinite(p.scaleY) && std::isfinite(p.anchorX) &&
           std::isfinite(p.anchorY);
}

}  // namespace

void DrawSprite(Image& target, const Image& texture, const AnimeDrawParams& p, RasterStats* stats) {
    if (target.empty() || texture.empty() || !Finite(p) || p.scaleX == 0.0f || p.scaleY == 0.0f) {
        return;
    }
    const float alpha = std::isnan(p.alpha) ? 0.0f : std::clamp(p.alpha, 0.0f, 1.0f);
    if (alpha <= 0.0f) {
        return;
    }
    const SourceRect rect = ResolveSource(texture, p);
    const float pivotX = p.anchorX * rect.w;
    const float pivotY = p.anchorY * rect.h;
    const float c = std::cos(p.rotation);
    const float s = std::sin(p.rotation);

    // Screen bounds of the four corners, one pixel wider for the soft edge.
    float minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (int corner = 0; corner < 4; ++corner) {
        const float ox = ((corner & 1) ? rect.w : 0.0f) - pivotX;
        const float oy = ((corner & 2) ? rect.h : 0.0f) - pivotY;
        const float sx = ox * p.scaleX;
        const float sy = oy * p.scaleY;
        const float X = p.x + c * sx - s * sy;
        const float Y = p.y + s * sx + c * sy;
        minX = std::min(minX, X);
        maxX = std::max(maxX, X);
        minY = std::min(minY, Y);
        maxY = std::max(maxY, Y);
    }
    const int x0 = std::max(0, static_cast<int>(std::floor(minX)) - 1);
    const int y0 = std::max(0, static_cast<int>(std::floor(minY)) - 1);
    const int x1 = std::min(target.width - 1, static_cast<int>(std::ceil(maxX)) + 1);
    const int y1 = std::min(target.height - 1, static_cast<int>(std::ceil(maxY)) + 1);
    if (x0 > x1 || y0 > y1) {
        return;
    }

    // Inverse mapping: screen offset d from the pivot to image coordinates
    // l = R(-rotation) d / scale + pivot. It is linear in the screen x, so
    // each row starts once and steps.
    const float invSx = 1.0f / p.scaleX;
    const float invSy = 1.0f / p.scaleY;
    const float stepLx = c * invSx;   // d(lx)/dX
    const float stepLy = -s * invSy;  // d(ly)/dX
    // Edge distances in image units become screen pixels through |scale|.
    const float edgeX = std::fabs(p.scaleX);
    const float edgeY = std::fabs(p.scaleY);

    long long touched = 0;
    for (int py = y0; py <= y1; ++py) {
        const float dy = static_cast<float>(py) + 0.5f - p.y;
        const float dx0 = static_cast<float>(x0) + 0.5f - p.x;
        float lx = (c * dx0 + s * dy) * invSx + pivotX;
        float ly = (-s * dx0 + c * dy) * invSy + pivotY;
        float* out = target.at(x0, py);
        for (int px = x0; px <= x1; ++px, lx += stepLx, ly += stepLy, out += 4) {
            // Distance to the nearest edge in screen pixels; half a pixel of
            // coverage on either side of the edge.
            const float coverX = std::min(lx, rect.w - lx) * edgeX + 0.5f;
            const float coverY = std::min(ly, rect.h - ly) * edgeY + 0.5f;
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
            const float keep = 1.0f - a;
            out[0] = texel[0] * coverage + out[0] * keep;
            out[1] = texel[1] * coverage + out[1] * keep;
            out[2] = texel[2] * coverage + out[2] * keep;
            out[3] = a + out[3] * keep;
            ++touched;
        }
    }
    if (stats != nullptr) {
        stats->pixelsTouched += touched;
    }
}

}  // namespace kivanime_player
