// Per-part pose of an instance and the resolution of the part hierarchy into
// world (model-space) transforms.
#pragma once

#include <cstdint>
#include <vector>

#include "model/anime_model.h"

namespace kivanime {

struct PartPose {
    // Local pose, reset to the part's rest values at the start of each update.
    float x = 0.0f;
    float y = 0.0f;
    float rotation = 0.0f;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float alpha = 1.0f;
    bool visible = true;
    // Resolved pose in model space.
    float worldX = 0.0f;
    float worldY = 0.0f;
    float worldRotation = 0.0f;
    float worldScaleX = 1.0f;
    float worldScaleY = 1.0f;
    float worldAlpha = 1.0f;
    // The texture the part shows now: its index in the model's texture list
    // (kSwapToUnknownTexture after a swap to a name the model lacks, -1 when
    // the part names no texture) and the host handle, -1 when there is none.
    // Swaps persist: the per-frame reset leaves these alone.
    int32_t textureIndex = -1;
    int32_t textureHandle = -1;
};

// Sets every local field back to the part's rest values.
void ResetLocalPose(const AnimeModel& model, std::vector<PartPose>& poses);

// World = local for every part, then composes each resolvable child with its
// parent: the child's offset is rotated by the parent's world rotation and
// then scaled per axis by the parent's world scale; rotations add, scales and
// opacities multiply, and a hidden parent hides the child. Parts in a cycle
// or on a chain too deep to resolve keep world = local.
//
// `parentCosSin` is scratch space of two floats per part.
void ResolveWorldPose(const AnimeModel& model, std::vector<PartPose>& poses,
                      std::vector<float>& parentCosSin);

}  // namespace kivanime
