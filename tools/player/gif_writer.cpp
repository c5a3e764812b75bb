#include "gif_writer.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

namespace kivanime_player {

namespace {

// Index that marks "same as the previous frame"; never a palette colour.
constexpr uint8_t kUnchanged = 255;
constexpr int kMaxColors = 255;

int WriteBytes(GifFileType* gif, const GifByteType* bytes, int length) {
    std::FILE* file = static_cast<std::FILE*>(gif->UserData);
    return static_cast<int>(std::fwrite(bytes, 1, static_cast<size_t>(length), file));
}

std::string GifError(const char* what, int code) {
    const char* text = GifErrorString(code);
    return std::string(what) + ": " + (text != nullptr ? text : "GIF error");
}

uint32_t Rgb(const uint8_t* p) {
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

}  // namespace

GifWriter::~GifWriter() {
    std::string ignored;
    Close(ignored);
}

void GifWriter::AddSamples(const Image& image, Color background) {
    const Color bg = background.a > 0.0f ? background : Color{1, 1, 1, 1};
    const float bgA = std::clamp(bg.a, 0.0f, 1.0f);
    const float rgb[3] = {bg.r, bg.g, bg.b};
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        const float* p = &image.pixels[i];
        const float keep = 1.0f - p[3];
        const float a = p[3] + bgA * keep;
        for (int c = 0; c < 3 && p[3] >= 0.05f; ++c) {
            const float value = p[c] + rgb[c] * bgA * keep;
            samples_.push_back(
                static_cast<uint8_t>(std::clamp(value / a, 0.0f, 1.0f) * 255.0f + 0.5f));
        }
    }
}

// The palette: a median cut over the samples (thinned out to keep it quick)
// and the commonest sample (the background, as a rule) kept exactly, since a
// large flat area shows the smallest shift.
bool GifWriter::Open(const Rgba8Image& first, std::string& error) {
    width_ = first.width;
    height_ = first.height;
    for (size_t i = 0; i < first.pixels.size(); i += 4) {
        samples_.insert(samples_.end(), &first.pixels[i], &first.pixels[i] + 3);
    }
    const size_t stride = std::max<size_t>(1, samples_.size() / 3 / 400000);
    std::vector<GifByteType> channels[3];
    std::map<uint32_t, size_t> counts;
    for (size_t i = 0; i < samples_.size() / 3; i += stride) {
        for (int c = 0; c < 3; ++c) {
            channels[c].push_back(samples_[i * 3 + c]);
        }
        ++counts[Rgb(&samples_[i * 3])];
    }
    for (std::vector<GifByteType>& channel : channels) {
        channel.resize(std::max<size_t>(channel.size(), 1));
    }
    size_t most = 0;
    for (const auto& [color, n] : counts) {  // the smallest of equally common colours
        exactColor_ = n > most ? color : exactColor_;
        most = std::max(most, n);
    }
    std::vector<GifByteType> indices(channels[0].size());
    GifColorType colors[256] = {};
    int count = kMaxColors - 1;
    if (GifQuantizeBuffer(static_cast<unsigned>(indices.size()), 1, &count, channels[0].data(),
                          channels[1].data(), channels[2].data(), indices.data(),
                          colors) != GIF_OK) {
        error = "cannot build the GIF palette";
        return false;
    }
    count = std::clamp(count, 1, kMaxColors - 1);
    exactIndex_ = static_cast<uint8_t>(count);
    colors[count] = GifColorType{static_cast<GifByteType>(exactColor_ >> 16),
                                 static_cast<GifByteType>(exactColor_ >> 8),
                                 static_cast<GifByteType>(exactColor_)};
    std::fill(colors + count + 1, colors + 256, colors[count]);
    for (int i = 0; i <= count; ++i) {
        palette_.insert(palette_.end(), {colors[i].Red, colors[i].Green, colors[i].Blue});
    }
    lookup_.assign(32768, -1);

    int code = 0;
    ColorMapObject* map = GifMakeMapObject(256, colors);
    if (map == nullptr || (file_ = std::fopen(path_.c_str(), "wb")) == nullptr ||
        (gif_ = EGifOpen(file_, &WriteBytes, &code)) == nullptr) {
        GifFreeMapObject(map);
        error = map == nullptr     ? "out of memory"
                : file_ == nullptr ? std::strerror(errno)
                                   : GifError("cannot start the GIF", code);
        return false;
    }
    EGifSetGifVersion(gif_, true);
    // The header, and an extension that makes the animation loop forever.
    static const GifByteType kAppName[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType kLoop[] = {1, 0, 0};
    const bool ok = EGifPutScreenDesc(gif_, width_, height_, 8, 0, map) == GIF_OK &&
                    EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                    EGifPutExtensionBlock(gif_, sizeof kAppName, kAppName) == GIF_OK &&
                    EGifPutExtensionBlock(gif_, sizeof kLoop, kLoop) == GIF_OK &&
                    EGifPutExtensionTrailer(gif_) == GIF_OK;
    GifFreeMapObject(map);
    return ok || (error = GifError("cannot write GIF header", gif_->Error), false);
}

// The palette entry nearest to the centre of the colour's 5-bit cell,
// remembered per cell.
uint8_t GifWriter::Nearest(const uint8_t* rgb) {
    if (Rgb(rgb) == exactColor_) {
        return exactIndex_;
    }
    int16_t& cached = lookup_[((rgb[0] >> 3) << 10) | ((rgb[1] >> 3) << 5) | (rgb[2] >> 3)];
    int16_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (size_t i = 0; cached < 0 && i * 3 < palette_.size(); ++i) {
        int distance = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = palette_[i * 3 + c] - (((rgb[c] >> 3) << 3) + 4);
            distance += d * d * (c == 0 ? 3 : c == 1 ? 4 : 2);
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int16_t>(i);
        }
    }
    cached = cached < 0 ? best : cached;
    return static_cast<uint8_t>(cached);
}

bool GifWriter::AddFrame(const Rgba8Image& straight, std::string& error) {
    Rgba8Image frame = straight;  // laid over white
    for (size_t i = 0; i < frame.pixels.size(); i += 4) {
        const float a = frame.pixels[i + 3] / 255.0f;
        for (int c = 0; c < 3; ++c) {
            frame.pixels[i + c] =
                static_cast<uint8_t>(frame.pixels[i + c] * a + 255.0f * (1.0f - a) + 0.5f);
        }
    }
    if (frames_ == 0 && !Open(frame, error)) {
        return false;
    }
    if (gif_ == nullptr || frame.width != width_ || frame.height != height_) {
        error = "GIF frame of the wrong size";
        return false;
    }
    std::vector<uint8_t> indices(static_cast<size_t>(width_) * height_);
    for (size_t i = 0; i < indices.size(); ++i) {
        indices[i] = Nearest(&frame.pixels[i * 4]);
    }
    // Only the rectangle that changed since the previous frame is stored;
    // inside it, unchanged pixels are transparent so that they compress well.
    const bool first = frames_ == 0;
    int left = width_, top = height_, right = -1, bottom = -1;
    for (size_t i = 0; i < indices.size(); ++i) {
        if (first || indices[i] != previous_[i]) {
            const int x = static_cast<int>(i % width_), y = static_cast<int>(i / width_);
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) {  // nothing changed: one unchanged pixel
        left = right = top = bottom = 0;
    }
    // Delays in hundredths of a second, rounded so that they add up.
    GraphicsControlBlock gcb{DISPOSE_DO_NOT, false,
                             static_cast<int>(std::lround((frames_ + 1) * 100.0 / fps_)) -
                                 static_cast<int>(std::lround(frames_ * 100.0 / fps_)),
                             first ? NO_TRANSPARENT_COLOR : kUnchanged};
    gcb.DelayTime = std::max(gcb.DelayTime, 1);
    GifByteType extension[4];
    EGifGCBToExtension(&gcb, extension);
    const int w = right - left + 1;
    bool ok = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
              EGifPutImageDesc(gif_, left, top, w, bottom - top + 1, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    for (int y = top; ok && y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const size_t i = static_cast<size_t>(y) * width_ + x;
            row[static_cast<size_t>(x - left)] =
                !first && indices[i] == previous_[i] ? kUnchanged : indices[i];
        }
        ok = EGifPutLine(gif_, row.data(), w) == GIF_OK;
    }
    previous_ = std::move(indices);
    ++frames_;
    return ok || (error = GifError("cannot write GIF frame", gif_->Error), false);
}

bool GifWriter::Close(std::string& error) {
    int code = 0;
    const int result = gif_ != nullptr ? EGifCloseFile(gif_, &code) : GIF_OK;
    const bool flushed = file_ == nullptr || std::fclose(file_) == 0;
    gif_ = nullptr;
    file_ = nullptr;
    error = result != GIF_OK ? GifError("cannot finish GIF", code)
            : !flushed       ? "cannot finish GIF: write failed"
                             : "";
    return error.empty();
}

}  // namespace kivanime_player
