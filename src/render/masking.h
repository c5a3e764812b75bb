// Masked parts: a part cut to the shape its mask has in the frame being
// drawn, as a plain triangle list for the host's mesh function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kivanime.h"
#include "model/draw_flags.h"
#include "render/triangle_clip.h"
#include "runtime/anime_instance.h"

namespace kivanime {

// Working space of the clip, sized for a model's worst case (ClipRoom) when
// an instance is created, so that frames allocate nothing.
struct ClipScratch {
    std::vector<AnimeMeshVertex> part;  // the part's own vertices, placed
    std::vector<AnimeMeshVertex> mask;  // the mask's vertices, placed
    std::vector<ClipTriangle> maskTriangles;
    std::vector<AnimeMeshVertex> out;
    std::vector<uint16_t> indices;  // 0, 1, 2, ... as long as `out`

    void reserve(const ClipRoom& room);
};

// Cuts part `index` (placed by `record`) to the shape of its mask (placed by
// `maskRecord`), writing the triangles to `scratch.out`; returns their
// vertex count (0 when nothing is left). The part must have a mask it can
// be clipped by (PartDrawFlags::clipMask).
size_t ClipPart(const AnimeInstance& instance, size_t index, const AnimeDrawParams& record,
                const AnimeDrawParams& maskRecord, ClipScratch& scratch);

}  // namespace kivanime
