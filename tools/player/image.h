// Images of the player: premultiplied RGBA in floats for drawing, straight
// 8-bit RGBA at the edges (files, GIF frames).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivanime_player {

// Premultiplied RGBA, each channel in [0, 1], rows top to bottom.
struct Image {
    int width = 0;
    int height = 0;
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
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // 4 bytes per pixel
};

struct Color {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;  // 0 means a transparent background
};

// Fills the image with a straight colour.
void Clear(Image& image, Color color);

Image FromRgba8(const Rgba8Image& source);
Rgba8Image ToRgba8(const Image& source);

// Shrinks the image by an integer-free factor (0 < factor <= 1), averaging
// every source pixel that falls into a destination pixel.
Image Downscale(const Image& source, float factor);

// Copies `tile` into `target` with its top-left corner at (x, y), clipped.
void Blit(Image& target, const Image& tile, int x, int y);

}  // namespace kivanime_player
