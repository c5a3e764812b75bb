#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unordered_map>

#include <unistd.h>

#include "json/json_parser.h"
#include "kivanime.h"

namespace kivanime::fuzz {

namespace {

// Host state; the library calls the host under its lock and the harnesses
// are single-threaded.
std::unordered_map<int32_t, int> g_live;
int32_t g_nextHandle = 0;
uint64_t g_loadCalls = 0;

int32_t HostLoad(const uint16_t* path) {
    if (path == nullptr) {
        Fail("loadTexture got a null path");
    }
    size_t length = 0;
    while (path[length] != 0) {
        ++length;
    }
    // Refuse some textures, so that parts without one are exercised too.
    if (++g_loadCalls % 5 == 0) {
        return -1;
    }
    const int32_t handle = g_nextHandle++;
    g_live[handle] = 1;
    return handle;
}

void HostRelease(int32_t handle) {
    if (g_live.erase(handle) != 1) {
        Fail("releaseTexture got a handle that is not live");
    }
}

void HostDraw(const AnimeDrawParams* p) {
    if (p == nullptr) {
        Fail("draw got a null record");
    }
    if (p->reserved2 != 0xFFFFFFFFu || p->reserved0 != 0.0f || p->reserved1 != 0.0f) {
        Fail("draw record has wrong reserved fields");
    }
    if (g_live.count(p->texture) != 1) {
        Fail("draw record names a texture that is not live");
    }
}

std::filesystem::path g_scratchDir;

void RemoveScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(g_scratchDir, ignored);
}

std::filesystem::path ScratchDir() {
    static const std::filesystem::path dir = [] {
        std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::filesystem::path d = base / ("kivanime-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        g_scratchDir = d;
        std::atexit(RemoveScratchDir);
        return d;
    }();
    return dir;
}

}  // namespace

void Fail(const char* what) {
    std::fprintf(stderr, "kivanime fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void FinishLibrary() {
    Anime_Shutdown();
    if (Anime_GetInstanceCount() != 0) {
        Fail("instances left after shutdown");
    }
    if (!g_live.empty()) {
        Fail("textures not released after shutdown");
    }
}

void ResetLibrary() {
    FinishLibrary();
    Anime_SetGlobalWind(0.0f, 0.0f);
    const AnimeHostCallbacks table{HostLoad, HostRelease, nullptr, HostDraw};
    Anime_Init(&table);
}

std::string WriteScratch(const char* name, const uint8_t* data, size_t size) {
    const std::filesystem::path path = ScratchDir() / name;
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr) {
        Fail("cannot write a scratch file");
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        Fail("cannot write a scratch file");
    }
    std::fclose(file);
    return path.string();
}

std::string WriteScratch(const char* name, std::string_view text) {
    return WriteScratch(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::vector<std::string> MemberNames(std::string_view json, std::string_view key, size_t limit) {
    std::vector<std::string> names;
    const JsonValue root = ParseJson(json);
    const JsonValue& table = root.get(key);
    if (table.isObject()) {
        for (size_t i = 0; i < table.members.size() && names.size() < limit; ++i) {
            names.push_back(table.members.keyAt(i));
        }
    }
    return names;
}

std::string FileName(std::string_view json) {
    static const std::string kUnnamed = "unnamed";
    return ParseJson(json).get("name").asString(kUnnamed);
}

void RunFrames(uint32_t id3d) {
    static const float kSteps[] = {0.0f, 16.0f, 33.3f, 1.0e-3f, 250.0f, 16.0f, 5000.0f, 16.0f};
    int frame = 0;
    for (float dt : kSteps) {
        if (frame == 3) {
            Anime_Set3DSetup(id3d, 1, 10.0f, -20.0f, 800.0f, 120.0f, 60.0f);
            Anime_Set3DAngles(id3d, 25.0f, -10.0f, 5.0f);
            Anime_SetGlobalWind(0.5f, -0.25f);
        }
        Anime_Update(dt);
        Anime_Render();
        ++frame;
    }
}

const char* const kBaseModel = R"({
  "name": "base",
  "textures": {"body": "body.png", "head": "head.png", "hair": "hair.png", "eye": "eye.png"},
  "parts": [
    {"name": "body", "texture": "body", "position": [100, 200], "drawOrder": 1},
    {"name": "head", "texture": "head", "parent": "body", "position": [0, -60], "depth": 10},
    {"name": "eye", "texture": "eye", "parent": "head", "position": [5, -5], "depth": 12},
    {"name": "hair", "texture": "hair", "parent": "head", "position": [0, -20], "depth": -5},
    {"name": "tip", "texture": "hair", "parent": "hair", "position": [0, 30], "ignore3D": true}
  ],
  "physics": [
    {"target": "hair", "stiffness": 0.4, "damping": 0.6, "gravity": [0, 9.8], "wind": 1.5},
    {"target": "tip", "stiffness": 0.2, "damping": 0.8, "wind": 2}
  ],
  "motions": {
    "idle": {"duration": 800, "loop": true, "fadeIn": 100, "fadeOut": 100, "tracks": [
      {"part": "head", "keyframes": [{"time": 0, "rotation": 0},
        {"time": 400, "rotation": 0.3, "easing": "ease_out_bounce"}, {"time": 800, "rotation": 0}]},
      {"part": "eye", "keyframes": [{"time": 0, "textureSwap": "hair", "visible": 0},
        {"time": 300, "textureSwap": "eye", "visible": 1}]}]}
  },
  "expressions": {
    "smile": {"blendMs": 120, "params": [{"part": "head", "rotation": 0.1, "scaleX": 1.1,
      "textureSwap": "eye"}, {"part": "hair", "alpha": 0.5, "visible": 0}]}
  }
})";

}  // namespace kivanime::fuzz
