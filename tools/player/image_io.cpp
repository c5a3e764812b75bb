#include "image.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "text/utf.h"

namespace kivanime_player {

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
#if defined(_WIN32)
    return _wfopen(kivanime::Utf8ToWide(path).c_str(), kivanime::Utf8ToWide(mode).c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

using FilePtr = std::unique_ptr<std::FILE, decltype([](std::FILE* f) { std::fclose(f); })>;

bool ReadPng(const std::string& path, Rgba8Image& image, std::string& error) {
    FilePtr file(OpenFileUtf8(path, "rb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    png_image png{};
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
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        opaque = opaque && image.pixels[i + 3] == 255;
        rgb.insert(rgb.end(), &image.pixels[i], &image.pixels[i] + 3);
    }
    FilePtr file(OpenFileUtf8(path, "wb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
    if (!png_image_write_to_stdio(&png, file.get(), 0, opaque ? rgb.data() : image.pixels.data(), 0,
                                  nullptr)) {
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
