// The four host functions the player hands to the library.
#include <cstdio>
#include <cstring>
#include "scene.h"

#include "text/utf.h"

namespace kivanime_player {

namespace {

int32_t Refuse(const std::string& path, const std::string& reason) {
    std::string& error = Host().textureError;
    error = error.empty() ? "cannot load the texture '" + path + "': " + reason : error;
    return -1;
}

int32_t LoadTexture(const uint16_t* path) {
    HostState& state = Host();
    if (path == nullptr) {
        return Refuse("", "no path given");
    }
    const std::string utf8 = kivanime::Utf16ToUtf8(reinterpret_cast<const char16_t*>(path));
    std::shared_ptr<const Image> image = state.byPath[utf8].lock();
    if (!image) {
        Rgba8Image file;
        std::string error;
        if (!ReadPng(utf8, file, error)) {
            return Refuse(utf8, error);
        }
        image = std::make_shared<const Image>(FromRgba8(file));
        state.byPath[utf8] = image;
    }
    state.textures.push_back(std::move(image));
    state.paths.push_back(utf8);
    ++state.loads;
    return static_cast<int32_t>(state.textures.size() - 1);
}

// The image behind a live handle, or null for an unknown or released one.
std::shared_ptr<const Image>* Slot(int32_t texture) {
    auto& textures = Host().textures;
    const size_t i = static_cast<size_t>(texture);
    return texture >= 0 && i < textures.size() && textures[i] ? &textures[i] : nullptr;
}

void ReleaseTexture(int32_t texture) {
    if (std::shared_ptr<const Image>* slot = Slot(texture)) {
        slot->reset();
        ++Host().releases;
    }
}

// Counts and traces a record; the image of a texture that can draw it, or
// null.
const Image* Record(const AnimeDrawParams* params) {
    HostState& state = Host();
    if (params == nullptr) {
        return nullptr;
    }
    ++state.draws;
    const size_t texture = static_cast<size_t>(params->texture);
    if (state.trace) {
        const AnimeDrawParams& p = *params;
        char numbers[1024];  // thirteen numbers of at most 50 characters each
        std::snprintf(numbers, sizeof numbers,
                      " %.2f %.2f %.4f %.4f %.4f %.3f %.3f %.3f %g,%g,%g,%g %08x\n", p.x, p.y,
                      p.rotation, p.scaleX, p.scaleY, p.alpha, p.anchorX, p.anchorY, p.srcX, p.srcY,
                      p.srcWidth, p.srcHeight, static_cast<unsigned>(p.reserved2));
        const bool known = p.texture >= 0 && texture < state.paths.size();
        std::string line = (known ? state.paths[texture] : "?") + numbers;
        if (p.flags != 0) {  // the blend mode and mask bits, when there are any
            std::snprintf(numbers, sizeof numbers, " flags %u\n", static_cast<unsigned>(p.flags));
            line.insert(line.size() - 1, numbers, std::strlen(numbers) - 1);
        }
        state.traced += line;
    }
    std::shared_ptr<const Image>* slot = Slot(params->texture);
    return slot && state.target ? slot->get() : nullptr;
}

void Draw(const AnimeDrawParams* params) {
    if (const Image* texture = Record(params)) {
        DrawSprite(*Host().target, *texture, *params);
    }
}

void DrawMeshPart(const AnimeDrawParams* params, const AnimeMeshVertex* vertices, int32_t count,
                  const uint16_t* indices, int32_t indexCount) {
    if (const Image* texture = Record(params); texture && vertices && indices) {
        DrawMesh(*Host().target, *texture, *params, vertices, count, indices, indexCount);
    }
}

}  // namespace

HostState& Host() {
    static HostState state;
    return state;
}

AnimeHostCallbacks HostCallbacks() {
    return AnimeHostCallbacks{&LoadTexture, &ReleaseTexture, nullptr, &Draw};
}

AnimeDrawMeshFn MeshCallback() {
    return &DrawMeshPart;
}

}  // namespace kivanime_player
