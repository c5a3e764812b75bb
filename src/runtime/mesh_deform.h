// An instance's meshes as its motions bend them. Every frame each vertex
// starts at its rest place; the main motion's offsets add to it (during a
// cross-fade, the vertex then moves from where the outgoing source puts it
// toward that, as a part's channels do), then the overlays' weighted sums,
// as offsets add to a part's pose. Expressions and springs move parts, never
// vertices.
#pragma once

#include <vector>

#include "model/anime_model.h"
#include "runtime/motion_player.h"

namespace kivanime {

struct MeshDeform {
    // x, y of every vertex of the model's mesh table, in its part's frame:
    // sized when the instance is created, empty for a model without meshes.
    std::vector<float> xy;
    bool moved = false;  // some vertex may be off its rest place
};

void InitializeMeshDeform(MeshDeform& deform, const MeshTable& meshes);

// The vertices of this frame: rest, plus the main motion's offsets (track by
// track), blended from the outgoing source's during a cross-fade, plus the
// overlay sums AdvancePlayer left in `overlaySums`. Without a main motion
// the meshes rest, as the parts do.
void ApplyDeform(MotionPlayer& player, const AnimeModel& model,
                 const OverlayAccumulator& overlaySums, MeshDeform& deform,
                 FadeScratch& fadeScratch);

}  // namespace kivanime
