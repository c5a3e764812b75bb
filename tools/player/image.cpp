#include "image.h"

#include <algorithm>
#include <cmath>

namespace kivanime_player {

Image::Image(int w, int h)
    : width(std::max(w, 0)),
      height(std::max(h, 0)),
      pixels(static_cast<size_t>(width) * height * 4, 0.0f) {}

void Clear(Image& image, Color color) {
    const float a = std::clamp(color.a, 0.0f, 1.0f);
    const float premultiplied[4] = {color.r * a, color.g * a, color.b * a, a};
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        std::copy(premultiplied, premultiplied + 4, image.pixels.begin() + i);
    }
}

Image FromRgba8(const Rgba8Image& source) {
    Image image(source.width, source.height);
    const size_t count = static_cast<size_t>(source.width) * source.height;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* in = &source.pixels[i * 4];
        float* out = &image.pixels[i * 4];
        out[3] = in[3] / 255.0f;
        for (int c = 0; c < 3; ++c) {
            out[c] = in[c] / 255.0f * out[3];
        }
    }
    return image;
}

namespace {

uint8_t ToByte(float value) {
    const float scaled = std::clamp(value, 0.0f, 1.0f) * 255.0f + 0.5f;
    return static_cast<uint8_t>(scaled);
}

// Shrinks the image by a factor (0 < factor <= 1) that need not divide its
// size, averaging every source pixel that falls into a destination pixel.
Image Downscale(const Image& source, float factor) {
    if (!(factor > 0.0f) || factor >= 1.0f) {
        return source;
    }
    const int w = std::max(1, static_cast<int>(std::lround(source.width * factor)));
    const int h = std::max(1, static_cast<int>(std::lround(source.height * factor)));
    Image result(w, h);
    const double stepX = static_cast<double>(source.width) / w;
    const double stepY = static_cast<double>(source.height) / h;
    for (int y = 0; y < h; ++y) {
        const int y0 = static_cast<int>(y * stepY);
        const int y1 = std::max(y0 + 1, std::min(source.height, static_cast<int>((y + 1) * stepY)));
        for (int x = 0; x < w; ++x) {
            const int x0 = static_cast<int>(x * stepX);
            const int x1 =
                std::max(x0 + 1, std::min(source.width, static_cast<int>((x + 1) * stepX)));
            float sum[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy) {
                for (int sx = x0; sx < x1; ++sx) {
                    const float* p = source.at(sx, sy);
                    for (int c = 0; c < 4; ++c) {
                        sum[c] += p[c];
                    }
                }
            }
            const float n = static_cast<float>((y1 - y0) * (x1 - x0));
            float* out = result.at(x, y);
            for (int c = 0; c < 4; ++c) {
                out[c] = sum[c] / n;
            }
        }
    }
    return result;
}

}  // namespace

Rgba8Image ToRgba8(const Image& source) {
    Rgba8Image image{source.width, source.height, std::vector<uint8_t>(source.pixels.size(), 0)};
    for (size_t i = 0; i < source.pixels.size(); i += 4) {
        const float a = source.pixels[i + 3];
        for (int c = 0; c < 4 && a > 0.0f; ++c) {  // fully transparent stays all zero
            image.pixels[i + c] = ToByte(c < 3 ? source.pixels[i + c] / a : a);
        }
    }
    return image;
}

ContactSheet::ContactSheet(std::vector<int> frames, int count, int totalFrames, int columns,
                           float scale)
    : frames_(std::move(frames)), columns_(columns), scale_(scale) {
    count = frames_.empty() ? std::min(count, totalFrames) : 0;
    for (int i = 0; i < count; ++i) {
        frames_.push_back(count == 1 ? 0 : i * (totalFrames - 1) / (count - 1));
    }
    tiles_.resize(frames_.size());
}

void ContactSheet::Offer(int frame, const Image& image) {
    for (size_t i = 0; i < frames_.size(); ++i) {
        if (frames_[i] == frame) {
            tiles_[i] = Downscale(image, scale_);
        }
    }
}

Image ContactSheet::Compose() const {
    const int gutter = 6;
    const int tileW = tiles_.front().width;
    const int tileH = tiles_.front().height;
    const int count = static_cast<int>(tiles_.size());
    const int columns = std::min(columns_, count);
    const int rows = (count + columns - 1) / columns;
    Image sheet(columns * (tileW + gutter) + gutter, rows * (tileH + gutter) + gutter);
    Clear(sheet, Color{0.22f, 0.22f, 0.25f, 1.0f});
    for (int i = 0; i < count; ++i) {
        const int x = gutter + (i % columns) * (tileW + gutter);
        const int y = gutter + (i / columns) * (tileH + gutter);
        for (int ty = 0; ty < tileH; ++ty) {
            std::copy(tiles_[i].at(0, ty), tiles_[i].at(0, ty) + tileW * 4, sheet.at(x, y + ty));
        }
    }
    return sheet;
}

}  // namespace kivanime_player
