// A part's mesh on its way to the host: its vertices placed by the part's
// draw record, exactly as a host places the corners of the part's sprite.
#pragma once

#include <cstddef>

#include "kivanime.h"

namespace kivanime {

// With c, s the cosine and sine of the record's rotation and sx, sy its
// scale, vertex (vx, vy) of the part's frame lands on
//   X = x + c·sx·vx − s·sy·vy,  Y = y + s·sx·vx + c·sy·vy
// evaluated left to right; u and v pass through. `xy` and `uv` hold two
// floats per vertex; without `uv` (null) the u and v of `out` are left as
// they are.
void PlaceMeshVertices(const AnimeDrawParams& record, const float* xy, const float* uv,
                       size_t count, AnimeMeshVertex* out);

}  // namespace kivanime
