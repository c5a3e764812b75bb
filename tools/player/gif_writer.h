// Animated GIF output. GIF has one palette and no partial transparency, so
// frames are laid over white, and the palette is fixed at the first frame
// from that frame and from sample colours given beforehand (the textures), so
// that frames can be written as they are rendered. The commonest sample
// colour is kept exactly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image.h"

struct GifFileType;

namespace kivanime_player {

class GifWriter {
public:
    // The animation loops forever at `fps` frames per second.
    GifWriter(std::string path, float fps) : path_(std::move(path)), fps_(fps) {}
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;
    ~GifWriter();

    // Adds the colours of `image` laid over `background` (over white when the
    // background is transparent) to the samples; texels that are nearly
    // transparent are left out.
    void AddSamples(const Image& image, Color background);
    // Adds the next frame, straight RGBA. The first one opens the file.
    bool AddFrame(const Rgba8Image& frame, std::string& error);
    bool Close(std::string& error);

private:
    bool Open(const Rgba8Image& first, std::string& error);
    uint8_t Nearest(const uint8_t* rgb);

    std::string path_;
    float fps_;
    int frames_ = 0;
    std::vector<uint8_t> samples_;  // RGB, 3 bytes per colour
    std::FILE* file_ = nullptr;
    GifFileType* gif_ = nullptr;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> palette_;   // RGB, 3 bytes per entry
    std::vector<int16_t> lookup_;    // 5-5-5 RGB -> palette index, -1 = not yet known
    std::vector<uint8_t> previous_;  // indices of the last frame written
    uint32_t exactColor_ = 0;        // 0xRRGGBB kept exactly in the palette
    uint8_t exactIndex_ = 0;
};

}  // namespace kivanime_player
