// The player's software rasteriser: turns one draw record into pixels, as
// docs/player.md ("How the player draws") describes. The source rectangle is
// in texture pixels (empty: the whole texture) and never sampled outside; the
// pivot at (anchorX, anchorY) of it lands on (x, y); scale, then rotation
// (+x toward +y, y down), bilinear samples, soft edges over one pixel, and
// "over" blending with the record's alpha clamped to [0, 1].
#pragma once

#include "image.h"
#include "kivanime.h"

namespace kivanime_player {

// Draws `texture` into `target` as the record says. Records with a zero or
// non-finite scale, position or rotation, or an empty texture draw nothing.
void DrawSprite(Image& target, const Image& texture, const AnimeDrawParams& params);

}  // namespace kivanime_player
