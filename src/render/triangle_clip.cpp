#include "render/triangle_clip.h"

#include <algorithm>

namespace kivanime {

namespace {

// A part's piece (a triangle or a rectangle) cut by three half-planes gains
// at most one corner per cut. Rounding can make a sliver's corners alternate
// about a line, so the room is for every corner doubled by every cut: never
// overrun.
constexpr size_t kMaxPieceCorners = 4 * 2 * 2 * 2;

struct Piece {
    AnimeMeshVertex corner[kMaxPieceCorners + 1];
    size_t count = 0;
};

// Twice the signed area of (a, b, c); positive when c lies left of a -> b
// as the edge test below counts it.
float Cross(float ax, float ay, float bx, float by, float cx, float cy) {
    return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

AnimeMeshVertex Between(const AnimeMeshVertex& a, const AnimeMeshVertex& b, float t) {
    return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.u + t * (b.u - a.u),
            a.v + t * (b.v - a.v)};
}

// Keeps the part of `in` on the inside of the edge (ax, ay) -> (bx, by)
// (distance 0 or more). A new corner is made only where an edge really
// crosses, from inside to outside or back, so a corner on the line is not
// doubled.
void CutByEdge(const Piece& in, float ax, float ay, float bx, float by, Piece& out) {
    out.count = 0;
    float distance[kMaxPieceCorners + 1];
    for (size_t k = 0; k < in.count; ++k) {
        distance[k] = Cross(ax, ay, bx, by, in.corner[k].x, in.corner[k].y);
    }
    size_t previous = in.count - 1;
    for (size_t k = 0; k < in.count; previous = k++) {
        const float dPrevious = distance[previous];
        const float dCurrent = distance[k];
        if (dCurrent >= 0.0f) {
            if (dPrevious < 0.0f && dCurrent > 0.0f) {
                out.corner[out.count++] =
                    Between(in.corner[previous], in.corner[k], dPrevious / (dPrevious - dCurrent));
            }
            out.corner[out.count++] = in.corner[k];
        } else if (dPrevious > 0.0f) {
            out.corner[out.count++] =
                Between(in.corner[previous], in.corner[k], dPrevious / (dPrevious - dCurrent));
        }
    }
}

// How a convex piece of the part (its n corners x, y wound as the mask's
// triangles are, and its box) meets a mask triangle, found before any
// cutting: most pairs of a mask of many triangles do not touch, and many
// parts lie wholly inside one. The answer is the mask edges that have a
// corner of the piece outside them (bit e for the edge from corner e to the
// next): 0 when it lies inside, kApart when the two do not meet. The edges
// with every corner inside need no cut: what is left lies inside them too.
constexpr unsigned kApart = 8;

unsigned Meet(const float* x, const float* y, size_t n, const float box[4],
              const ClipTriangle& mask) {
    if (box[2] < mask.left || mask.right < box[0] || box[3] < mask.top || mask.bottom < box[1]) {
        return kApart;
    }
    unsigned cut = 0;
    for (size_t e = 0; e < 3; ++e) {
        const size_t f = e == 2 ? 0 : e + 1;
        size_t out = 0;
        for (size_t k = 0; k < n; ++k) {
            out += Cross(mask.x[e], mask.y[e], mask.x[f], mask.y[f], x[k], y[k]) < 0.0f;
        }
        if (out == n) {
            return kApart;
        }
        cut |= out > 0 ? 1u << e : 0u;
    }
    // An edge of the piece with the whole mask outside it parts them too.
    for (size_t e = 0; cut != 0 && e < n; ++e) {
        const size_t f = e + 1 == n ? 0 : e + 1;
        size_t out = 0;
        for (size_t k = 0; k < 3; ++k) {
            out += Cross(x[e], y[e], x[f], y[f], mask.x[k], mask.y[k]) < 0.0f;
        }
        if (out == 3) {
            return kApart;
        }
    }
    return cut;
}

}  // namespace

size_t PrepareClipTriangles(const AnimeMeshVertex* vertices, const uint16_t* indices,
                            size_t triangleCount, ClipTriangle* out) {
    size_t written = 0;
    for (size_t t = 0; t < triangleCount; ++t) {
        const AnimeMeshVertex& a = vertices[indices[3 * t]];
        const AnimeMeshVertex& b = vertices[indices[3 * t + 1]];
        const AnimeMeshVertex& c = vertices[indices[3 * t + 2]];
        const float area = Cross(a.x, a.y, b.x, b.y, c.x, c.y);
        if (!(area > 0.0f || area < 0.0f)) {
            continue;
        }
        // Wound the other way: swap two corners so that c is inside a -> b.
        const AnimeMeshVertex& second = area > 0.0f ? b : c;
        const AnimeMeshVertex& third = area > 0.0f ? c : b;
        out[written++] = {{a.x, second.x, third.x},  {a.y, second.y, third.y},
                          std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}),
                          std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y})};
    }
    return written;
}

bool ClipConvex(const AnimeMeshVertex* corners, size_t n, const ClipTriangle* mask,
                size_t maskCount, AnimeMeshVertex* out, size_t capacity, size_t& written) {
    const float area =
        Cross(corners[0].x, corners[0].y, corners[1].x, corners[1].y, corners[2].x, corners[2].y);
    if (!(area > 0.0f || area < 0.0f)) {
        return true;
    }
    // For the tests of Meet, wound as the mask's triangles: the other way
    // round from the first corner when the piece is turned over.
    float x[4];
    float y[4];
    float box[4] = {corners[0].x, corners[0].y, corners[0].x, corners[0].y};
    for (size_t k = 0; k < n; ++k) {
        const AnimeMeshVertex& corner = corners[area > 0.0f || k == 0 ? k : n - k];
        x[k] = corner.x;
        y[k] = corner.y;
        box[0] = std::min(box[0], corner.x);
        box[1] = std::min(box[1], corner.y);
        box[2] = std::max(box[2], corner.x);
        box[3] = std::max(box[3], corner.y);
    }
    for (size_t m = 0; m < maskCount; ++m) {
        const unsigned cut = Meet(x, y, n, box, mask[m]);
        if (cut == kApart) {
            continue;
        }
        Piece pieces[2];
        Piece* piece = &pieces[0];
        Piece* next = &pieces[1];
        piece->count = n;
        std::copy(corners, corners + n, piece->corner);
        const ClipTriangle& edge = mask[m];
        for (size_t e = 0; e < 3 && piece->count >= 3; ++e) {
            if ((cut & (1u << e)) == 0) {
                continue;
            }
            const size_t f = e == 2 ? 0 : e + 1;
            CutByEdge(*piece, edge.x[e], edge.y[e], edge.x[f], edge.y[f], *next);
            std::swap(piece, next);
        }
        if (piece->count < 3) {
            continue;
        }
        if (written + 3 * (piece->count - 2) > capacity) {
            return false;
        }
        for (size_t k = 1; k + 1 < piece->count; ++k) {
            out[written++] = piece->corner[0];
            out[written++] = piece->corner[k];
            out[written++] = piece->corner[k + 1];
        }
    }
    return true;
}

size_t ClipTriangles(const AnimeMeshVertex* vertices, const uint16_t* indices, size_t triangleCount,
                     const ClipTriangle* mask, size_t maskCount, AnimeMeshVertex* out,
                     size_t capacity) {
    size_t written = 0;
    for (size_t t = 0; t < triangleCount; ++t) {
        const AnimeMeshVertex corners[3] = {vertices[indices[3 * t]], vertices[indices[3 * t + 1]],
                                            vertices[indices[3 * t + 2]]};
        if (!ClipConvex(corners, 3, mask, maskCount, out, capacity, written)) {
            break;
        }
    }
    return written;
}

}  // namespace kivanime
