// Cutting textured triangles to the inside of other triangles, on the CPU,
// so that a mask needs no stencil buffer and every front-end gets the same
// triangles to the bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kivanime.h"

namespace kivanime {

// A mask triangle ready for clipping: its corners turned so that the inside
// of every edge is on the same side whichever way the triangle was wound
// (a mirrored mask turns its triangles over).
struct ClipTriangle {
    float x[3];
    float y[3];
};

// Writes the mask's triangles (three indices each into `vertices`) to
// `out`, turned as above, leaving out those of zero area (and those with a
// coordinate that is not a number): they cover nothing. Returns how many it
// wrote.
size_t PrepareClipTriangles(const AnimeMeshVertex* vertices, const uint16_t* indices,
                            size_t triangleCount, ClipTriangle* out);

// Cuts each of the part's triangles (three indices each into `vertices`) to
// each mask triangle, in that order, and writes every piece with three or
// more corners as a fan of triangles, three vertices each, to `out`, up to
// `capacity` vertices (a piece that would not fit whole ends the list).
// A new corner's x, y, u and v are interpolated along the edge it cuts, so
// its u and v are those of the part's own triangle at that point. Returns
// the number of vertices written, a multiple of 3.
size_t ClipTriangles(const AnimeMeshVertex* vertices, const uint16_t* indices, size_t triangleCount,
                     const ClipTriangle* mask, size_t maskCount, AnimeMeshVertex* out,
                     size_t capacity);

}  // namespace kivanime
