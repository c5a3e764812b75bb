#include "image_io.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "text/utf.h"

namespace kivanime_player {

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
#if defined(_WIN32)
    return _wfopen(kivanime::Utf8ToWide(path).c_str(), kivanime::Utf8ToWide(mode).c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool ReadPng(const std::string& path, Rgba8Image& image, std::string& error) {
    FilePtr file(OpenFileUtf8(path, "rb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_stdio(&png, file.get())) {
        error = png.message[0] != '\0' ? png.message : "not a PNG file";
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGBA;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        error = png.message[0] != '\0' ? png.message : "damaged PNG file";
        png_image_free(&png);
        image = Rgba8Image{};
        return false;
    }
    return true;
}

bool WritePng(const std::string& path, const Rgba8Image& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = "empty image";
        return false;
    }
    bool opaque = true;
    for (size_t i = 3; i < image.pixels.size(); i += 4) {
        if (image.pixels[i] != 255) {
            opaque = false;
            break;
        }
    }
    std::vector<uint8_t> rgb;
    const void* data = image.pixels.data();
    if (opaque) {
        const size_t count = static_cast<size_t>(image.width) * image.height;
        rgb.resize(count * 3);
        for (size_t i = 0; i < count; ++i) {
            std::memcpy(&rgb[i * 3], &image.pixels[i * 4], 3);
        }
        data = rgb.data();
    }
    FilePtr file(OpenFileUtf8(path, "wb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
    if (!png_image_write_to_stdio(&png, file.get(), 0, data, 0, nullptr)) {
        error = png.message[0] != '\0' ? png.message : "cannot write PNG";
        png_image_free(&png);
        return false;
    }
    if (std::fflush(file.get()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace kivanime_player
