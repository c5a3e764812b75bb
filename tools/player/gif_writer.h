// Animated GIF output. The palette is fixed before the first frame, from
// sample colours the caller gives (the textures and the first frame), so that
// frames can be written as they are rendered. The commonest sample colour is
// kept exactly.
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
    GifWriter() = default;
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;
    ~GifWriter();

    // `samples` is straight RGB, 3 bytes per colour; at most 255 colours are
    // kept. The animation loops forever.
    bool Open(const std::string& path, int width, int height, const std::vector<uint8_t>& samples,
              std::string& error);
    // Adds one opaque frame shown for `delayCs` hundredths of a second.
    bool AddFrame(const Rgba8Image& frame, int delayCs, std::string& error);
    bool Close(std::string& error);

private:
    uint8_t Nearest(uint8_t r, uint8_t g, uint8_t b);

    std::FILE* file_ = nullptr;
    GifFileType* gif_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> palette_;   // RGB, 3 bytes per entry
    std::vector<int16_t> lookup_;    // 5-5-5 RGB -> palette index, -1 = not yet known
    std::vector<uint8_t> previous_;  // indices of the last frame written
    uint32_t exactColor_ = 0;        // 0xRRGGBB kept exactly in the palette
    uint8_t exactIndex_ = 0;
    bool first_ = true;
};

}  // namespace kivanime_player
