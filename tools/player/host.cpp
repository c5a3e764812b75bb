#include "host.h"

#include "raster.h"
#include "text/utf.h"

namespace kivanime_player {

namespace {

int32_t LoadTexture(const uint16_t* path) {
    HostState& state = Host();
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
    ++state.loads;
    return static_cast<int32_t>(state.textures.size() - 1);
}

void ReleaseTexture(int32_t texture) {
    HostState& state = Host();
    if (texture >= 0 && static_cast<size_t>(texture) < state.textures.size() &&
        state.textures[static_cast<size_t>(texture)]) {
        state.textures[static_cast<size_t>(texture)].reset();
        ++state.releases;
    }
}

void Draw(const AnimeDrawParams* params) {
    HostState& state = Host();
    if (params == nullptr) {
        return;
    }
    ++state.draws;
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
    DrawSprite(*state.target, *state.textures[static_cast<size_t>(texture)], *params);
}

}  // namespace

HostState& Host() {
    static HostState state;
    return state;
}

AnimeHostCallbacks HostCallbacks() {
    AnimeHostCallbacks callbacks{};
    callbacks.loadTexture = &LoadTexture;
    callbacks.releaseTexture = &ReleaseTexture;
    callbacks.reserved = nullptr;
    callbacks.draw = &Draw;
    return callbacks;
}

}  // namespace kivanime_player
