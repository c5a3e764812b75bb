// Per-part pose of an instance and the resolution of the part hierarchy into
// world (model-space) transforms.
#pragma once

#include <cstdint>
#include <vector>

#include "model/anime_model.h"

namespace kivanime {

struct PartPose {
    // Local pose, reset to the part's rest pose at the start of each update.
    PoseChannels local;
    bool visible = true;
    // Resolved pose in model space.
    PoseChannels world;
    // Host handle of the texture the part shows now, -1 when there is none.
    // Swaps persist: the per-frame reset leaves it alone.
    int32_t textureHandle = -1;
};
// The host handle of a model texture (an index into the texture list), or -1
// for a negative index: no texture, or a name the model lacks.
inline int32_t TextureHandleOf(int32_t textureIndex, const std::vector<int32_t>& handles) {
    return textureIndex >= 0 ? handles[static_cast<size_t>(textureIndex)] : -1;
}

// Sets every local field back to the part's rest values.
void ResetLocalPose(const AnimeModel& model, std::vector<PartPose>& poses);

// World = local for every part, then composes each resolvable child with its
// parent: the child's offset is rotated by the parent's world rotation and
// then scaled per axis by the parent's world scale; rotations add, scales and
// opacities multiply, and a hidden parent hides the child. Parts in a cycle
// or on a chain too deep to resolve keep world = local.
//
// `offsets`, when not null, holds one change per part that game code asked
// for (see PartOffsets), made to the local pose as the world pose starts
// from it (the local fields stay as they were): offsets added to x, y and
// rotation, factors multiplied into scales and opacity.
//
// `parentCosSin` is scratch space of two floats per part.
void ResolveWorldPose(const AnimeModel& model, std::vector<PartPose>& poses,
                      std::vector<float>& parentCosSin, const PoseChannels* offsets = nullptr);

}  // namespace kivanime
