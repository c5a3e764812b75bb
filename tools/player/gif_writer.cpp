#include "gif_writer.h"

#include "image_io.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <unordered_map>

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

}  // namespace

GifWriter::~GifWriter() {
    if (gif_ != nullptr) {
        int code = 0;
        EGifCloseFile(gif_, &code);
    }
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool GifWriter::Open(const std::string& path, int width, int height,
                     const std::vector<uint8_t>& samples, std::string& error) {
    width_ = width;
    height_ = height;
    // Median cut over the samples (thinned out to keep it quick).
    const size_t count = samples.size() / 3;
    const size_t stride = std::max<size_t>(1, count / 400000);
    std::vector<GifByteType> r, g, b;
    for (size_t i = 0; i < count; i += stride) {
        r.push_back(samples[i * 3]);
        g.push_back(samples[i * 3 + 1]);
        b.push_back(samples[i * 3 + 2]);
    }
    if (r.empty()) {
        r.push_back(0);
        g.push_back(0);
        b.push_back(0);
    }
    // The commonest colour (the background, as a rule) is kept exactly: a
    // large flat area shows the smallest shift.
    std::unordered_map<uint32_t, size_t> counts;
    for (size_t i = 0; i < r.size(); ++i) {
        ++counts[(uint32_t{r[i]} << 16) | (uint32_t{g[i]} << 8) | b[i]];
    }
    uint32_t commonest = 0;
    size_t most = 0;
    for (const auto& [color, n] : counts) {
        if (n > most || (n == most && color < commonest)) {
            most = n;
            commonest = color;
        }
    }
    std::vector<GifByteType> indices(r.size());
    GifColorType colors[256] = {};
    int colorCount = kMaxColors - 1;
    if (GifQuantizeBuffer(static_cast<unsigned>(r.size()), 1, &colorCount, r.data(), g.data(),
                          b.data(), indices.data(), colors) != GIF_OK) {
        error = "cannot build the GIF palette";
        return false;
    }
    colorCount = std::clamp(colorCount, 1, kMaxColors - 1);
    palette_.clear();
    for (int i = 0; i < colorCount; ++i) {
        palette_.push_back(colors[i].Red);
        palette_.push_back(colors[i].Green);
        palette_.push_back(colors[i].Blue);
    }
    exactColor_ = commonest;
    exactIndex_ = static_cast<uint8_t>(colorCount);
    palette_.push_back(static_cast<uint8_t>(commonest >> 16));
    palette_.push_back(static_cast<uint8_t>(commonest >> 8));
    palette_.push_back(static_cast<uint8_t>(commonest));
    colorCount += 1;
    lookup_.assign(32768, -1);

    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    if (map == nullptr) {
        error = "out of memory";
        return false;
    }
    for (int i = 0; i < 256; ++i) {
        const int src = std::min(i, colorCount - 1);
        map->Colors[i].Red = palette_[src * 3];
        map->Colors[i].Green = palette_[src * 3 + 1];
        map->Colors[i].Blue = palette_[src * 3 + 2];
    }
    file_ = OpenFileUtf8(path, "wb");
    if (file_ == nullptr) {
        GifFreeMapObject(map);
        error = std::strerror(errno);
        return false;
    }
    int code = 0;
    gif_ = EGifOpen(file_, &WriteBytes, &code);
    if (gif_ == nullptr) {
        GifFreeMapObject(map);
        error = GifError("cannot start the GIF", code);
        return false;
    }
    EGifSetGifVersion(gif_, true);
    const bool ok = EGifPutScreenDesc(gif_, width, height, 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    if (!ok) {
        error = GifError("cannot write GIF header", gif_->Error);
        return false;
    }
    // Loop forever.
    static const GifByteType kAppName[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType kLoop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif_, sizeof kAppName, kAppName) != GIF_OK ||
        EGifPutExtensionBlock(gif_, sizeof kLoop, kLoop) != GIF_OK ||
        EGifPutExtensionTrailer(gif_) != GIF_OK) {
        error = GifError("cannot write GIF header", gif_->Error);
        return false;
    }
    first_ = true;
    return true;
}

uint8_t GifWriter::Nearest(uint8_t r, uint8_t g, uint8_t b) {
    if (((uint32_t{r} << 16) | (uint32_t{g} << 8) | b) == exactColor_) {
        return exactIndex_;
    }
    const int key = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    int16_t& cached = lookup_[static_cast<size_t>(key)];
    if (cached < 0) {
        // Centre of the 5-bit cell.
        const int cr = ((r >> 3) << 3) + 4;
        const int cg = ((g >> 3) << 3) + 4;
        const int cb = ((b >> 3) << 3) + 4;
        int best = 0;
        int bestDistance = std::numeric_limits<int>::max();
        for (size_t i = 0; i * 3 < palette_.size(); ++i) {
            const int dr = palette_[i * 3] - cr;
            const int dg = palette_[i * 3 + 1] - cg;
            const int db = palette_[i * 3 + 2] - cb;
            const int distance = dr * dr * 3 + dg * dg * 4 + db * db * 2;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<int>(i);
            }
        }
        cached = static_cast<int16_t>(best);
    }
    return static_cast<uint8_t>(cached);
}

bool GifWriter::AddFrame(const Rgba8Image& frame, int delayCs, std::string& error) {
    if (gif_ == nullptr || frame.width != width_ || frame.height != height_) {
        error = "GIF frame of the wrong size";
        return false;
    }
    const size_t count = static_cast<size_t>(width_) * height_;
    std::vector<uint8_t> indices(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &frame.pixels[i * 4];
        indices[i] = Nearest(p[0], p[1], p[2]);
    }
    // Only the rectangle that changed since the previous frame is stored;
    // inside it, unchanged pixels are transparent so that they compress well.
    int left = 0, top = 0, right = width_ - 1, bottom = height_ - 1;
    bool useTransparency = false;
    if (!first_) {
        left = width_;
        top = height_;
        right = -1;
        bottom = -1;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const size_t i = static_cast<size_t>(y) * width_ + x;
                if (indices[i] != previous_[i]) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        if (right < 0) {  // nothing changed: one unchanged pixel
            left = right = top = bottom = 0;
        }
        useTransparency = true;
    }
    GraphicsControlBlock gcb;
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = std::max(delayCs, 1);
    gcb.TransparentColor = useTransparency ? kUnchanged : NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&gcb, extension);
    if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK) {
        error = GifError("cannot write GIF frame", gif_->Error);
        return false;
    }
    const int w = right - left + 1;
    const int h = bottom - top + 1;
    if (EGifPutImageDesc(gif_, left, top, w, h, false, nullptr) != GIF_OK) {
        error = GifError("cannot write GIF frame", gif_->Error);
        return false;
    }
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const size_t i = static_cast<size_t>(y) * width_ + x;
            row[static_cast<size_t>(x - left)] =
                (useTransparency && indices[i] == previous_[i]) ? kUnchanged : indices[i];
        }
        if (EGifPutLine(gif_, row.data(), w) != GIF_OK) {
            error = GifError("cannot write GIF frame", gif_->Error);
            return false;
        }
    }
    previous_ = std::move(indices);
    first_ = false;
    return true;
}

bool GifWriter::Close(std::string& error) {
    if (gif_ == nullptr) {
        return true;
    }
    int code = 0;
    const int result = EGifCloseFile(gif_, &code);
    gif_ = nullptr;
    const bool flushed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (result != GIF_OK) {
        error = GifError("cannot finish GIF", code);
        return false;
    }
    if (!flushed) {
        error = "cannot finish GIF: write failed";
        return false;
    }
    return true;
}

}  // namespace kivanime_player
