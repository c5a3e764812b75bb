#include "render/triangle_clip.h"

namespace kivanime {

namespace {

// A triangle cut by three half-planes gains at most one corner per cut (6
// in all). Rounding can make a sliver's corners alternate about a line, so
// the room is for every corner doubled by every cut: never overrun.
constexpr size_t kMaxPieceCorners = 24;

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
        out[written++] = {{a.x, second.x, third.x}, {a.y, second.y, third.y}};
    }
    return written;
}

size_t ClipTriangles(const AnimeMeshVertex* vertices, const uint16_t* indices, size_t triangleCount,
                     const ClipTriangle* mask, size_t maskCount, AnimeMeshVertex* out,
                     size_t capacity) {
    size_t written = 0;
    for (size_t t = 0; t < triangleCount; ++t) {
        for (size_t m = 0; m < maskCount; ++m) {
            Piece pieces[2];
            Piece* piece = &pieces[0];
            Piece* next = &pieces[1];
            piece->count = 3;
            for (size_t k = 0; k < 3; ++k) {
                piece->corner[k] = vertices[indices[3 * t + k]];
            }
            const ClipTriangle& edge = mask[m];
            for (size_t e = 0; e < 3 && piece->count >= 3; ++e) {
                const size_t f = e == 2 ? 0 : e + 1;
                CutByEdge(*piece, edge.x[e], edge.y[e], edge.x[f], edge.y[f], *next);
                Piece* done = piece;
                piece = next;
                next = done;
            }
            if (piece->count < 3) {
                continue;
            }
            const size_t needed = 3 * (piece->count - 2);
            if (written + needed > capacity) {
                return written;
            }
            for (size_t k = 1; k + 1 < piece->count; ++k) {
                out[written++] = piece->corner[0];
                out[written++] = piece->corner[k];
                out[written++] = piece->corner[k + 1];
            }
        }
    }
    return written;
}

}  // namespace kivanime
