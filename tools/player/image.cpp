#include "image.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

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

Rgba8Image ToRgba8(const Image& source) {
    Rgba8Image image{source.width, source.height, std::vector<uint8_t>(source.pixels.size(), 0)};
    for (size_t i = 0; i < source.pixels.size(); i += 4) {
        const float a = source.pixels[i + 3];
        for (int c = 0; c < 4 && a > 0.0f; ++c) {  // fully transparent stays all zero
            const float value = c < 3 ? source.pixels[i + c] / a : a;
            image.pixels[i + c] =
                static_cast<uint8_t>(std::clamp(value, 0.0f, 1.0f) * 255.0f + 0.5f);
        }
    }
    return image;
}

Image ComposeSheet(const std::vector<Image>& tiles, int columns) {
    const int gutter = 6;
    const int tileW = tiles.front().width;
    const int tileH = tiles.front().height;
    const int count = static_cast<int>(tiles.size());
    columns = std::min(columns, count);
    const int rows = (count + columns - 1) / columns;
    Image sheet(columns * (tileW + gutter) + gutter, rows * (tileH + gutter) + gutter);
    Clear(sheet, Color{0.22f, 0.22f, 0.25f, 1.0f});
    for (int i = 0; i < count; ++i) {
        const int x = gutter + (i % columns) * (tileW + gutter);
        const int y = gutter + (i / columns) * (tileH + gutter);
        for (int ty = 0; ty < tileH; ++ty) {
            std::copy(tiles[i].at(0, ty), tiles[i].at(0, ty) + tileW * 4, sheet.at(x, y + ty));
        }
    }
    return sheet;
}

namespace {

using FilePtr = std::unique_ptr<std::FILE, decltype([](std::FILE* f) { std::fclose(f); })>;

bool SystemError(std::string& error) {
    error = std::strerror(errno);
    return false;
}

// Says why libpng failed (or `otherwise` when it does not say) and frees
// what it holds.
bool PngError(png_image& png, const char* otherwise, std::string& error) {
    error = png.message[0] != '\0' ? png.message : otherwise;
    png_image_free(&png);
    return false;
}

}  // namespace

bool ReadPng(const std::string& path, Rgba8Image& image, std::string& error) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!file) {
        return SystemError(error);
    }
    if (!png_image_begin_read_from_stdio(&png, file.get())) {
        return PngError(png, "not a PNG file", error);
    }
    png.format = PNG_FORMAT_RGBA;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        image = Rgba8Image{};
        return PngError(png, "damaged PNG file", error);
    }
    return true;
}

bool WritePng(const std::string& path, const Rgba8Image& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = "empty image";
        return false;
    }
    bool opaque = true;
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        opaque = opaque && image.pixels[i + 3] == 255;
        rgb.insert(rgb.end(), &image.pixels[i], &image.pixels[i] + 3);
    }
    FilePtr file(std::fopen(path.c_str(), "wb"));
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
    if (!file) {
        return SystemError(error);
    }
    if (!png_image_write_to_stdio(&png, file.get(), 0, opaque ? rgb.data() : image.pixels.data(), 0,
                                  nullptr)) {
        return PngError(png, "cannot write PNG", error);
    }
    return std::fflush(file.get()) == 0 || SystemError(error);
}

}  // namespace kivanime_player
