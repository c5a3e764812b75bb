#include "host.h"

#include <algorithm>
#include <map>
#include <memory>

#include "image_io.h"
#include "raster.h"
#include "text/utf.h"

namespace kivanime_player {

namespace {

struct HostState {
    // Slot i holds the image of handle i; released handles are emptied and
    // their numbers not reused, so a stale handle can never draw a new image.
    std::vector<std::shared_ptr<const Image>> textures;
    std::vector<std::string> paths;  // file of each handle
    bool trace = false;
    std::vector<TracedDraw> traced;
    // Decoded files shared by every handle of the same path (a crowd of
    // instances loads each file once).
    std::map<std::string, std::weak_ptr<const Image>> byPath;
    std::vector<TextureFailure> failures;
    HostCounters counters;
    Image* target = nullptr;
};

HostState& State() {
    static HostState state;
    return state;
}

int32_t LoadTexture(const uint16_t* path) {
    HostState& state = State();
    if (path == nullptr) {
        state.failures.push_back({"", "no path given"});
        return -1;
    }
    const std::string utf8 = kivanime::Utf16ToUtf8(reinterpret_cast<const char16_t*>(path));
    std::shared_ptr<const Image> image = state.byPath[utf8].lock();
    if (!image) {
        Rgba8Image file;
        std::string error;
        if (!ReadPng(utf8, file, error)) {
            state.failures.push_back({utf8, error});
            return -1;
        }
        image = std::make_shared<const Image>(FromRgba8(file));
        state.byPath[utf8] = image;
    }
    state.textures.push_back(std::move(image));
    state.paths.push_back(utf8);
    ++state.counters.loads;
    return static_cast<int32_t>(state.textures.size() - 1);
}

void ReleaseTexture(int32_t texture) {
    HostState& state = State();
    if (texture >= 0 && static_cast<size_t>(texture) < state.textures.size() &&
        state.textures[static_cast<size_t>(texture)]) {
        state.textures[static_cast<size_t>(texture)].reset();
        ++state.counters.releases;
    }
}

void Draw(const AnimeDrawParams* params) {
    HostState& state = State();
    if (params == nullptr) {
        return;
    }
    ++state.counters.draws;
    const int32_t texture = params->texture;
    if (state.trace) {
        const bool known = texture >= 0 && static_cast<size_t>(texture) < state.paths.size();
        state.traced.push_back({known ? state.paths[static_cast<size_t>(texture)] : "?", *params});
    }
    if (state.target == nullptr || texture < 0 ||
        static_cast<size_t>(texture) >= state.textures.size() ||
        !state.textures[static_cast<size_t>(texture)]) {
        return;
    }
    RasterStats stats;
    DrawSprite(*state.target, *state.textures[static_cast<size_t>(texture)], *params, &stats);
    state.counters.pixels += stats.pixelsTouched;
}

}  // namespace

AnimeHostCallbacks HostCallbacks() {
    AnimeHostCallbacks callbacks{};
    callbacks.loadTexture = &LoadTexture;
    callbacks.releaseTexture = &ReleaseTexture;
    callbacks.reserved = nullptr;
    callbacks.draw = &Draw;
    return callbacks;
}

void SetDrawTarget(Image* target) {
    State().target = target;
}

const std::vector<TextureFailure>& TextureFailures() {
    return State().failures;
}

void ClearTextureFailures() {
    State().failures.clear();
}

const HostCounters& Counters() {
    return State().counters;
}

void ResetDrawCount() {
    State().counters.draws = 0;
    State().counters.pixels = 0;
    State().traced.clear();
}

void SetTraceDraws(bool on) {
    State().trace = on;
}

const std::vector<TracedDraw>& TracedDraws() {
    return State().traced;
}

std::vector<uint8_t> TextureColorSamples(Color background) {
    std::vector<uint8_t> samples;
    const float bgA = std::clamp(background.a, 0.0f, 1.0f);
    for (const auto& [path, weak] : State().byPath) {
        const std::shared_ptr<const Image> image = weak.lock();
        if (!image) {
            continue;
        }
        for (size_t i = 0; i < image->pixels.size(); i += 4) {
            const float* p = &image->pixels[i];
            if (p[3] < 0.05f) {
                continue;
            }
            const float keep = 1.0f - p[3];
            const float rgb[3] = {p[0] + background.r * bgA * keep,
                                  p[1] + background.g * bgA * keep,
                                  p[2] + background.b * bgA * keep};
            const float a = p[3] + bgA * keep;
            for (float c : rgb) {
                samples.push_back(
                    static_cast<uint8_t>(std::clamp(c / a, 0.0f, 1.0f) * 255.0f + 0.5f));
            }
        }
    }
    return samples;
}

}  // namespace kivanime_player
