// Images of the player: premultiplied RGBA in floats for drawing, straight
// 8-bit RGBA at the edges (PNG files through libpng, GIF frames), and the
// software rasteriser that draws the library's records into them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kivanime.h"

namespace kivanime_player {

// Premultiplied RGBA, each channel in [0, 1], rows top to bottom.
struct Image {
    int width = 0, height = 0;
    std::vector<float> pixels;  // 4 floats per pixel

    Image() = default;
    Image(int w, int h);

    float* at(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
    const float* at(int x, int y) const {
        return &pixels[(static_cast<size_t>(y) * width + x) * 4];
    }
    bool empty() const { return width <= 0 || height <= 0; }
};

// Straight (not premultiplied) 8-bit RGBA.
struct Rgba8Image {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // 4 bytes per pixel
};

struct Color {
    float r = 0.0f, g = 0.0f, b = 0.0f;
    float a = 0.0f;  // 0 means a transparent background
};

// Fills the image with a straight colour.
void Clear(Image& image, Color color);

Image FromRgba8(const Rgba8Image& source);
Rgba8Image ToRgba8(const Image& source);

// Read any PNG as straight 8-bit RGBA, and write one (as RGB when every pixel
// is opaque). On failure they return false and say why in `error`.
bool ReadPng(const std::string& path, Rgba8Image& image, std::string& error);
bool WritePng(const std::string& path, const Rgba8Image& image, std::string& error);

// Shrinks the image by a factor (0 < factor <= 1) that need not divide its
// size, averaging every source pixel that falls into a destination pixel.
Image Downscale(const Image& source, float factor);

// A contact sheet: tiles of one size laid out in rows of `columns`, 6 px
// apart on a dark ground.
Image ComposeSheet(const std::vector<Image>& tiles, int columns);

// Draws `texture` into `target` as the record says (raster.cpp), as
// docs/player.md ("How the player draws") describes. The source rectangle is
// in texture pixels (empty: the whole texture) and never sampled outside; the
// pivot at (anchorX, anchorY) of it lands on (x, y); scale, then rotation
// (+x toward +y, y down), bilinear samples, soft edges over one pixel, the
// colour multiplied by the record's tint (reserved2: bytes R, G, B, A), and
// blended in the mode of the record's flags (the equations in kivanime.h) with
// the record's alpha clamped to [0, 1]. Records with a
// zero or non-finite scale, position or rotation, or an empty texture draw
// nothing.
void DrawSprite(Image& target, const Image& texture, const AnimeDrawParams& params);

// Draws `texture` on the triangles of a mesh (raster.cpp) with the sprite's
// filtering, tint and blending: bilinear samples at the vertices' texture
// coordinates (read only inside the box they span), the record's tint and alpha, and
// the mesh's outline smoothed over one pixel; edges two triangles share are
// hard, so each pixel inside is drawn once. A quad mesh on a sprite's corners
// draws the sprite's pixels. A triangle list (indices 0, 1, 2, ..., each
// triangle on vertices of its own, as a clipped part comes) shares the edges
// whose ends lie at the same places, so the cuts between its pieces leave no
// seam. Triangles with a non-finite vertex or no area draw nothing; either
// winding draws.
void DrawMesh(Image& target, const Image& texture, const AnimeDrawParams& params,
              const AnimeMeshVertex* vertices, int32_t vertexCount, const uint16_t* indices,
              int32_t indexCount);

}  // namespace kivanime_player
