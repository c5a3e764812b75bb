// The player's software rasteriser: turns one draw record into pixels.
#include "image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

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

// Puts one sample onto a premultiplied pixel: the texel (premultiplied)
// times the tint, with opacity a = texel alpha x coverage, under the record's
// blend mode. With src the straight colour and dst the pixel's colour:
// normal dst(1 - a) + src a; additive dst + src a, clamped to 1; multiply
// dst(1 - a) + dst src a; screen dst + src a (1 - dst). On premultiplied
// pixels these are the GL blend functions the header gives, applied to all
// four channels: so additive adds the opacities too, multiply keeps the
// pixel's opacity (over nothing it shows nothing) and screen lays its
// opacity over.
void Put(float* out, const float texel[4], const float tint[3], float coverage, float a,
         uint32_t mode) {
    switch (mode) {
        case ANIME_BLEND_ADDITIVE:
            for (int i = 0; i < 3; ++i) {
                out[i] = std::min(out[i] + texel[i] * tint[i] * coverage, 1.0f);
            }
            out[3] = std::min(out[3] + a, 1.0f);
            return;
        case ANIME_BLEND_MULTIPLY:
            for (int i = 0; i < 3; ++i) {
                out[i] = out[i] * (1.0f - a) + out[i] * (texel[i] * tint[i] * coverage);
            }
            return;
        case ANIME_BLEND_SCREEN:
            for (int i = 0; i < 3; ++i) {
                out[i] = out[i] + texel[i] * tint[i] * coverage * (1.0f - out[i]);
            }
            out[3] = a + out[3] * (1.0f - a);
            return;
        default:
            // The texel's colour times the tint: premultiplied, the same as
            // tinting the straight colour.
            for (int i = 0; i < 3; ++i) {
                out[i] = texel[i] * tint[i] * coverage + out[i] * (1.0f - a);
            }
            out[3] = a + out[3] * (1.0f - a);
            return;
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
    const uint32_t mode = p.flags & ANIME_DRAW_FLAG_BLEND_MASK;

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
            Put(out, texel, tint, coverage, a, mode);
        }
    }
}

namespace {

// A straight line of the screen as a signed distance in pixels, positive on
// the side that faces into a triangle.
struct Edge {
    float nx = 0.0f, ny = 0.0f, c = 0.0f;  // distance = nx * x + ny * y + c

    float at(float x, float y) const { return nx * x + ny * y + c; }
};

// The line through a and b, positive on the side of `inside`; false when a
// and b coincide or `inside` lies on the line.
bool MakeEdge(const AnimeMeshVertex& a, const AnimeMeshVertex& b, const AnimeMeshVertex& inside,
              Edge& edge) {
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0)) {
        return false;
    }
    double nx = -dy / length, ny = dx / length;
    double c = -(nx * a.x + ny * a.y);
    const double side = nx * inside.x + ny * inside.y + c;
    if (!(side != 0.0)) {
        return false;
    }
    if (side < 0.0) {
        nx = -nx, ny = -ny, c = -c;
    }
    edge = {static_cast<float>(nx), static_cast<float>(ny), static_cast<float>(c)};
    return true;
}

// Two outline edges in line fade a pixel once: where a straight side is
// split (a clip cuts a part's side where a mask's edge crosses it), the two
// halves' lines differ only by rounding.
bool SameLine(const Edge& a, const Edge& b) {
    return a.nx * b.nx + a.ny * b.ny > 0.99999f && std::fabs(a.c - b.c) < 0.01f;
}

uint64_t EdgeKey(uint32_t a, uint32_t b) {
    return a < b ? (uint64_t{a} << 32) | b : (uint64_t{b} << 32) | a;
}

// The mesh's outline: the edges that only one triangle uses, with the
// triangle's inside, and per vertex the outline edges that meet there.
struct Outline {
    std::vector<uint64_t> shared;                  // keys of edges used by two triangles or more
    std::vector<std::pair<uint64_t, Edge>> edges;  // outline edges by key
    std::vector<std::vector<size_t>> atVertex;     // indices into `edges`

    bool isShared(uint64_t key) const {
        return std::binary_search(shared.begin(), shared.end(), key);
    }
};

// Vertices closer than this (in pixels, along each axis) are one corner in a
// triangle list: the clip computes a point where two pieces meet once for
// each piece, and the two results may differ in the last bits.
constexpr float kWeld = 1.0f / 1024.0f;
// In texels.
constexpr float kBoxSlack = 1.0f / 1024.0f;

// The vertex each index stands for when telling which edges triangles share.
// A mesh says so by its indices. A triangle list (indices 0, 1, 2, ... with
// every triangle on three vertices of its own, as a clipped part arrives)
// does not: there a vertex stands for the first of the vertices at its place.
std::vector<uint32_t> CornerIds(const AnimeMeshVertex* v, int32_t count, const uint16_t* indices,
                                int32_t indexCount) {
    std::vector<uint32_t> ids(indices, indices + indexCount);
    bool list = indexCount == count;
    for (int32_t k = 0; k < indexCount && list; ++k) {
        list = indices[k] == k;
    }
    if (!list) {
        return ids;
    }
    std::vector<uint32_t> order;
    for (int32_t k = 0; k < count; ++k) {
        if (std::isfinite(v[k].x) && std::isfinite(v[k].y)) {
            order.push_back(static_cast<uint32_t>(k));
        }
    }
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return v[a].x < v[b].x || (v[a].x == v[b].x && a < b);
    });
    for (size_t i = 0; i < order.size(); ++i) {
        const uint32_t a = order[i];
        for (size_t j = i + 1; j < order.size() && v[order[j]].x - v[a].x <= kWeld; ++j) {
            const uint32_t b = order[j];
            if (ids[b] == b && ids[a] == a && std::fabs(v[b].y - v[a].y) <= kWeld) {
                ids[b] = a;
            }
        }
    }
    return ids;
}

// `ids` are the triangles' corners as CornerIds gives them; a triangle with
// two corners in one place has no edges.
Outline FindOutline(const AnimeMeshVertex* v, int32_t count, const std::vector<uint32_t>& indices) {
    const int32_t indexCount = static_cast<int32_t>(indices.size());
    std::vector<std::pair<uint64_t, int32_t>> uses;  // edge key, triangle
    for (int32_t t = 0; t + 2 < indexCount; t += 3) {
        if (indices[t] == indices[t + 1] || indices[t + 1] == indices[t + 2] ||
            indices[t] == indices[t + 2]) {
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            uses.emplace_back(EdgeKey(indices[t + k], indices[t + (k + 1) % 3]), t);
        }
    }
    std::sort(uses.begin(), uses.end());
    Outline outline;
    outline.atVertex.resize(static_cast<size_t>(count));
    for (size_t i = 0; i < uses.size();) {
        size_t j = i;
        while (j < uses.size() && uses[j].first == uses[i].first) {
            ++j;
        }
        const uint64_t key = uses[i].first;
        const uint32_t a = static_cast<uint32_t>(key >> 32), b = static_cast<uint32_t>(key);
        if (j - i > 1) {
            outline.shared.push_back(key);
        } else {
            const int32_t t = uses[i].second;
            uint32_t third = indices[t];
            for (int k = 0; k < 3; ++k) {
                third = indices[t + k] != a && indices[t + k] != b ? indices[t + k] : third;
            }
            Edge edge;
            if (MakeEdge(v[a], v[b], v[third], edge)) {
                outline.atVertex[a].push_back(outline.edges.size());
                outline.atVertex[b].push_back(outline.edges.size());
                outline.edges.emplace_back(key, edge);
            }
        }
        i = j;
    }
    return outline;
}

bool Finite(const AnimeMeshVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.u) && std::isfinite(v.v);
}

}  // namespace

void DrawMesh(Image& target, const Image& texture, const AnimeDrawParams& p,
              const AnimeMeshVertex* v, int32_t count, const uint16_t* indices,
              int32_t indexCount) {
    const float alpha = std::isnan(p.alpha) ? 0.0f : std::clamp(p.alpha, 0.0f, 1.0f);
    if (target.empty() || texture.empty() || alpha <= 0.0f || count < 3 || indexCount < 3) {
        return;
    }
    // Texels are read inside the box the texture coordinates span, as a
    // sprite's are inside its source rectangle.
    const float texW = static_cast<float>(texture.width), texH = static_cast<float>(texture.height);
    float u0 = INFINITY, v0 = INFINITY, u1 = -INFINITY, v1 = -INFINITY;
    for (int32_t k = 0; k < count; ++k) {
        if (Finite(v[k])) {
            u0 = std::min(u0, v[k].u * texW), u1 = std::max(u1, v[k].u * texW);
            v0 = std::min(v0, v[k].v * texH), v1 = std::max(v1, v[k].v * texH);
        }
    }
    if (!(u0 <= u1) || !(v0 <= v1)) {
        return;
    }
    // The texels the box touches. A box edge within kBoxSlack past a texel
    // boundary is rounding (texture coordinates interpolated along a clipped
    // part's side) and reads no texel beyond it.
    SourceRect rect{u0, v0, u1 - u0, v1 - v0, 0, 0, 0, 0};
    rect.minX = std::clamp(static_cast<int>(std::floor(u0 + kBoxSlack)), 0, texture.width - 1);
    rect.minY = std::clamp(static_cast<int>(std::floor(v0 + kBoxSlack)), 0, texture.height - 1);
    rect.maxX =
        std::clamp(static_cast<int>(std::ceil(u1 - kBoxSlack)) - 1, rect.minX, texture.width - 1);
    rect.maxY =
        std::clamp(static_cast<int>(std::ceil(v1 - kBoxSlack)) - 1, rect.minY, texture.height - 1);

    float tint[3];
    TintOf(p, tint);
    const uint32_t mode = p.flags & ANIME_DRAW_FLAG_BLEND_MASK;

    // Edges two triangles share are hard (each pixel goes to one side);
    // outline edges are smoothed over a pixel as a sprite's edges are. At a
    // corner of the outline both of its edges fade the pixels beyond it.
    const std::vector<uint32_t> ids = CornerIds(v, count, indices, indexCount);
    const Outline outline = FindOutline(v, count, ids);
    std::vector<Edge> soft;
    for (int32_t t = 0; t + 2 < indexCount; t += 3) {
        const AnimeMeshVertex* tri[3] = {&v[indices[t]], &v[indices[t + 1]], &v[indices[t + 2]]};
        if (!Finite(*tri[0]) || !Finite(*tri[1]) || !Finite(*tri[2]) || ids[t] == ids[t + 1] ||
            ids[t + 1] == ids[t + 2] || ids[t] == ids[t + 2]) {
            continue;  // not finite, or two corners in one place
        }
        // Barycentric weights of the screen point, as planes over it.
        const double ax = tri[0]->x, ay = tri[0]->y;
        const double bx = double(tri[1]->x) - ax, by = double(tri[1]->y) - ay;
        const double cx = double(tri[2]->x) - ax, cy = double(tri[2]->y) - ay;
        const double det = bx * cy - by * cx;
        if (!(std::fabs(det) > 1e-9)) {
            continue;  // no area
        }
        // Texture coordinates (in texels) as planes over the screen.
        float plane[2][3];
        for (int axis = 0; axis < 2; ++axis) {
            const double scale = axis == 0 ? texW : texH;
            const double t0 = (axis == 0 ? tri[0]->u : tri[0]->v) * scale;
            const double t1 = (axis == 0 ? tri[1]->u : tri[1]->v) * scale - t0;
            const double t2 = (axis == 0 ? tri[2]->u : tri[2]->v) * scale - t0;
            const double gx = (t1 * cy - t2 * by) / det, gy = (t2 * bx - t1 * cx) / det;
            plane[axis][0] = static_cast<float>(gx);
            plane[axis][1] = static_cast<float>(gy);
            plane[axis][2] = static_cast<float>(t0 - gx * ax - gy * ay);
        }
        Edge hard[3];
        bool ownsZero[3] = {false, false, false};
        int hardCount = 0;
        soft.clear();
        for (int k = 0; k < 3; ++k) {
            const uint32_t a = ids[t + k], b = ids[t + (k + 1) % 3];
            const AnimeMeshVertex& third = *tri[(k + 2) % 3];
            if (outline.isShared(EdgeKey(a, b))) {
                // A pixel centre on a shared edge belongs to the triangle on
                // its left, walking from the lower vertex index to the higher.
                Edge e;
                const uint32_t lo = std::min(a, b), hi = std::max(a, b);
                if (MakeEdge(v[lo], v[hi], third, e)) {
                    const double cross = (double(v[hi].x) - v[lo].x) * (double(third.y) - v[lo].y) -
                                         (double(v[hi].y) - v[lo].y) * (double(third.x) - v[lo].x);
                    ownsZero[hardCount] = cross > 0.0;
                    hard[hardCount++] = e;
                }
            }
            for (size_t index : outline.atVertex[ids[t + k]]) {
                const Edge& e = outline.edges[index].second;
                // An outline edge fades this triangle only if the triangle
                // lies on its inner side (not at a hollow corner).
                bool inside = true;
                for (const AnimeMeshVertex* corner : tri) {
                    inside = inside && e.at(corner->x, corner->y) >= -1e-3f;
                }
                bool listed = false;
                for (const Edge& other : soft) {
                    listed = listed || SameLine(other, e);
                }
                if (inside && !listed) {
                    soft.push_back(e);
                }
            }
        }
        float minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
        for (const AnimeMeshVertex* corner : tri) {
            minX = std::min(minX, corner->x), maxX = std::max(maxX, corner->x);
            minY = std::min(minY, corner->y), maxY = std::max(maxY, corner->y);
        }
        const int x0 = std::max(0, static_cast<int>(std::floor(minX)) - 1);
        const int y0 = std::max(0, static_cast<int>(std::floor(minY)) - 1);
        const int x1 = std::min(target.width - 1, static_cast<int>(std::ceil(maxX)) + 1);
        const int y1 = std::min(target.height - 1, static_cast<int>(std::ceil(maxY)) + 1);
        for (int py = y0; py <= y1; ++py) {
            const float sy = static_cast<float>(py) + 0.5f;
            for (int px = x0; px <= x1; ++px) {
                const float sx = static_cast<float>(px) + 0.5f;
                bool mine = true;
                for (int k = 0; k < hardCount && mine; ++k) {
                    const float d = hard[k].at(sx, sy);
                    mine = d > 0.0f || (d == 0.0f && ownsZero[k]);
                }
                float coverage = alpha;
                for (size_t k = 0; k < soft.size() && mine && coverage > 0.0f; ++k) {
                    coverage *= std::min(soft[k].at(sx, sy) + 0.5f, 1.0f);
                }

                if (!mine || coverage <= 0.0f) {
                    continue;
                }
                const float tx = plane[0][0] * sx + plane[0][1] * sy + plane[0][2];
                const float ty = plane[1][0] * sx + plane[1][1] * sy + plane[1][2];
                float texel[4];
                Sample(texture, rect, std::clamp(tx, u0, u1), std::clamp(ty, v0, v1), texel);
                const float a = texel[3] * coverage;
                if (a <= 0.0f) {
                    continue;
                }
                Put(target.at(px, py), texel, tint, coverage, a, mode);
            }
        }
    }
}

}  // namespace kivanime_player
