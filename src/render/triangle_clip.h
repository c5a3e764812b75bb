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
    float left, top, right, bottom;  // the box around it
};

// Writes the mask's triangles (three indices each into `vertices`) to
// `out`, turned as above, leaving out those of zero area (and those with a
// coordinate that is not a number): they cover nothing. Returns how many it
// wrote.
size_t PrepareClipTriangles(const AnimeMeshVertex* vertices, const uint16_t* indices,
                            size_t triangleCount, ClipTriangle* out);

// Cuts a convex piece of a part, its `n` corners (3 or 4, in order around
// it), to each mask triangle in turn, and appends every piece with three or
// more corners as a fan of triangles, three vertices each, to `out` from
// `written` on, up to `capacity` vertices. Returns false, leaving out the
// piece, when one would not fit whole (the list ends there). A new corner's
// x, y, u and v are interpolated along the edge it cuts, so its u and v are
// those of the part at that point (the part's u and v are an affine map of
// its x and y). A piece of zero area gives nothing; a piece wholly inside a
// mask triangle comes out as its own fan.
bool ClipConvex(const AnimeMeshVertex* corners, size_t n, const ClipTriangle* mask,
                size_t maskCount, AnimeMeshVertex* out, size_t capacity, size_t& written);

// ClipConvex for each of the part's triangles (three indices each into
// `vertices`), in order; returns the number of vertices written.
size_t ClipTriangles(const AnimeMeshVertex* vertices, const uint16_t* indices, size_t triangleCount,
                     const ClipTriangle* mask, size_t maskCount, AnimeMeshVertex* out,
                     size_t capacity);

}  // namespace kivanime
