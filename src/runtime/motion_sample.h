// What one motion alone shows at one time, over the whole model: a change
// per part and the place of every mesh vertex. A cross-fade asks this of
// both of its sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/anime_motion.h"
#include "runtime/keyframes.h"

namespace kivanime {

// What a motion asks of each part at `time`: its tracks composed in track
// order (offsets added, factors multiplied, the last override winning), the
// neutral delta for a part without a track. `segments` (may be null, or
// shorter than the track list after a reload) are the per-track hints.
void ComposeMotion(const AnimeMotion* motion, float time, uint16_t* segments, size_t segmentCount,
                   size_t partCount, PartDelta* out);

// What `motion` (may be null) shows of the meshes at `time`: xy = rest plus
// its offsets, track by track, over every vertex of the mesh table. `atRest`
// says that xy holds the rest places already. `segments` are the per-track
// hints, as for ComposeMotion.
void DeformByMotion(const AnimeMotion* motion, float time, std::vector<uint16_t>& segments,
                    const std::vector<float>& rest, bool atRest, float* xy);

}  // namespace kivanime
