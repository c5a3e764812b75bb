// Runs a scripted sequence of C-interface calls (one per line: the function
// name without its prefix, then its arguments; "-" is a NULL string) and
// prints every result, texture call and draw record, floats as bit patterns.
// The browser test runs the same script through the JavaScript module and
// must print the same lines.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kivanime.h"

namespace {

int32_t nextHandle = 0;

std::string Utf8(const uint16_t* p) {
    std::string out;
    for (; *p; ++p) {
        out += *p < 0x80 ? static_cast<char>(*p) : '?';
    }
    return out;
}

// Handles count up from 0; a path with "refuse" in it is refused.
int32_t LoadTexture(const uint16_t* path) {
    const std::string text = Utf8(path);
    const int32_t handle = text.find("refuse") != std::string::npos ? -1 : nextHandle++;
    std::printf("load %s -> %d\n", text.c_str(), handle);
    return handle;
}

void ReleaseTexture(int32_t texture) {
    std::printf("release %d\n", texture);
}

void Draw(const AnimeDrawParams* params) {
    uint32_t words[16];
    std::memcpy(words, params, sizeof words);
    std::printf("draw");
    for (uint32_t w : words) {
        std::printf(" %08x", w);
    }
    std::printf("\n");
}

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: record_sequence SCRIPT\n");
        return 2;
    }
    std::ifstream script(argv[1]);
    if (!script) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    const AnimeHostCallbacks host = {LoadTexture, ReleaseTexture, nullptr, Draw};
    std::string line;
    while (std::getline(script, line)) {
        std::istringstream in(line);
        std::string call;
        if (!(in >> call) || call[0] == '#') {
            continue;
        }
        std::vector<std::string> a;
        for (std::string word; in >> word;) {
            a.push_back(word);
        }
        auto s = [&](size_t i) { return a.at(i) == "-" ? nullptr : a.at(i).c_str(); };
        auto f = [&](size_t i) { return std::strtof(a.at(i).c_str(), nullptr); };
        auto u = [&](size_t i) {
            return static_cast<uint32_t>(std::strtoul(a.at(i).c_str(), nullptr, 10));
        };
        auto i32 = [&](size_t i) {
            return static_cast<int32_t>(std::strtol(a.at(i).c_str(), nullptr, 10));
        };
        std::printf("%s\n", line.c_str());
        long long result = 0;
        bool hasResult = true;
        if (call == "Init") {
            Anime_Init(a.empty() ? &host : nullptr);
            hasResult = false;
        } else if (call == "Shutdown") {
            Anime_Shutdown();
            hasResult = false;
        } else if (call == "LoadModel") {
            result = Anime_LoadModel(s(0), s(1));
        } else if (call == "UnloadModel") {
            Anime_UnloadModel(s(0));
            hasResult = false;
        } else if (call == "LoadMotion") {
            result = Anime_LoadMotion(s(0), s(1));
        } else if (call == "LoadExpression") {
            result = Anime_LoadExpression(s(0), s(1));
        } else if (call == "CreateInstance") {
            result = Anime_CreateInstance(s(0));
        } else if (call == "DestroyInstance") {
            Anime_DestroyInstance(u(0));
            hasResult = false;
        } else if (call == "GetInstanceCount") {
            result = Anime_GetInstanceCount();
        } else if (call == "PlayMotion") {
            result = Anime_PlayMotion(u(0), s(1), f(2));
        } else if (call == "IsMotionFinished") {
            result = Anime_IsMotionFinished(u(0));
        } else if (call == "PlayOverlay") {
            result = Anime_PlayOverlay(u(0), s(1), f(2), f(3));
        } else if (call == "StopOverlay") {
            Anime_StopOverlay(u(0), s(1));
            hasResult = false;
        } else if (call == "SetExpression") {
            result = Anime_SetExpression(u(0), s(1));
        } else if (call == "ClearExpression") {
            Anime_ClearExpression(u(0));
            hasResult = false;
        } else if (call == "SetPosition") {
            Anime_SetPosition(u(0), f(1), f(2));
            hasResult = false;
        } else if (call == "GetPosition") {
            float x = 0, y = 0;
            Anime_GetPosition(u(0), &x, &y);
            std::printf("= %08x %08x\n", Bits(x), Bits(y));
            hasResult = false;
        } else if (call == "SetScale") {
            Anime_SetScale(u(0), f(1), f(2));
            hasResult = false;
        } else if (call == "SetAlpha") {
            Anime_SetAlpha(u(0), f(1));
            hasResult = false;
        } else if (call == "SetDrawOrder") {
            Anime_SetDrawOrder(u(0), i32(1));
            hasResult = false;
        } else if (call == "SetWind") {
            Anime_SetWind(u(0), f(1), f(2));
            hasResult = false;
        } else if (call == "SetGlobalWind") {
            Anime_SetGlobalWind(f(0), f(1));
            hasResult = false;
        } else if (call == "Set3DSetup") {
            Anime_Set3DSetup(u(0), i32(1), f(2), f(3), f(4), f(5), f(6));
            hasResult = false;
        } else if (call == "Set3DAngles") {
            Anime_Set3DAngles(u(0), f(1), f(2), f(3));
            hasResult = false;
        } else if (call == "Set3DStrength") {
            Anime_Set3DStrength(u(0), f(1), f(2));
            hasResult = false;
        } else if (call == "Update") {
            Anime_Update(f(0));
            hasResult = false;
        } else if (call == "Render") {
            Anime_Render();
            hasResult = false;
        } else {
            std::fprintf(stderr, "unknown call %s\n", call.c_str());
            return 2;
        }
        if (hasResult) {
            std::printf("= %lld\n", result);
        }
    }
    return 0;
}
