#include "runtime/texture_swaps.h"

namespace kivanime {

void ShowPartTexture(AnimeInstance& instance, size_t part, int32_t textureIndex) {
    const int32_t index =
        textureIndex >= 0 ? textureIndex : instance.model->topology.textureIndex[part];
    instance.poses[part].textureHandle = TextureHandleOf(index, instance.textureHandles);
}

void PutOnSkin(AnimeInstance& instance, const AnimeSkin& skin) {
    const AnimeModel& model = *instance.model;
    for (const SkinAssignment& assignment : skin.assignments) {
        const int32_t part = model.findPart(assignment.part);
        const int32_t texture = model.findTexture(assignment.texture);
        if (part >= 0 && (texture >= 0 || assignment.texture.empty())) {
            ShowPartTexture(instance, static_cast<size_t>(part), texture);
        }
    }
}

void ShowOwnTextures(AnimeInstance& instance) {
    for (size_t i = 0; i < instance.poses.size(); ++i) {
        ShowPartTexture(instance, i, -1);
    }
}

}  // namespace kivanime
