// Texture swaps asked for by game code: one part at a time, or a whole skin.
// They act exactly as a keyframe's swap does, at once (the next render shows
// them without an update) and until another swap replaces them; they load no
// texture, since the instance holds every texture of its model.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/anime_skin.h"
#include "runtime/anime_instance.h"

namespace kivanime {

// Part `part` shows texture `textureIndex` of the model; a negative index
// gives it back its own texture from the model file.
void ShowPartTexture(AnimeInstance& instance, size_t part, int32_t textureIndex);

// Every assignment of the skin, in file order, as ShowPartTexture; an
// assignment naming a part or a texture the model lacks is skipped.
void PutOnSkin(AnimeInstance& instance, const AnimeSkin& skin);

// Every part back to its own texture.
void ShowOwnTextures(AnimeInstance& instance);

}  // namespace kivanime
