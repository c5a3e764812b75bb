// The player's software rasteriser: turns one draw record into pixels.
//
// How a record is read (the library leaves this to the host):
//  - The source rectangle (srcX, srcY, srcWidth, srcHeight) is in texture
//    pixels. A rectangle whose width or height is zero or less stands for the
//    whole texture, so a model may leave "srcRect" out for one-image parts.
//    Sampling never reads outside the rectangle, so neighbours in an atlas do
//    not bleed in.
//  - The pivot is at (anchorX x width, anchorY x height) of that rectangle and
//    lands on (x, y). Around it the image is scaled by (scaleX, scaleY), then
//    rotated by `rotation` radians, positive turning +x toward +y with y
//    pointing down the screen. A negative scale mirrors the image.
//  - Texels are sampled bilinearly at pixel centres; the rectangle's edges are
//    smoothed over one screen pixel.
//  - The result is blended "over" the target with its opacity multiplied by
//    `alpha` (clamped to [0, 1]). The reserved fields are not read.
#pragma once

#include "image.h"
#include "kivanime.h"

namespace kivanime_player {

struct RasterStats {
    long long pixelsTouched = 0;
};

// Draws `texture` into `target` as the record says. Records with a zero or
// non-finite scale, position or rotation, or an empty texture draw nothing.
void DrawSprite(Image& target, const Image& texture, const AnimeDrawParams& params,
                RasterStats* stats = nullptr);

}  // namespace kivanime_player
