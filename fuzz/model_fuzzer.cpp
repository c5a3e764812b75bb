// Model files through the C interface: load, create instances, play the
// file's own motions and expressions, run frames with and without the 3D
// parallax, then unload and shut down with every texture given back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "kivanime.h"

namespace fz = kivanime::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fz::ResetLibrary();
    const std::string path = fz::WriteScratch("model.json", data, size);
    if (Anime_LoadModel("m", path.c_str()) == 1) {
        const std::string_view text(reinterpret_cast<const char*>(data), size);
        const std::vector<std::string> motions = fz::MemberNames(text, "motions", 3);
        const std::vector<std::string> expressions = fz::MemberNames(text, "expressions", 2);
        const uint32_t a = Anime_CreateInstance("m");
        const uint32_t b = Anime_CreateInstance("m");
        if (a == 0 || b == 0) {
            fz::Fail("no instance from a loaded model");
        }
        for (const std::string& motion : motions) {
            Anime_PlayOverlay(b, motion.c_str(), 1.5f, 0.5f);
        }
        if (!motions.empty()) {
            Anime_PlayMotion(a, motions[0].c_str(), 1.0f);
            Anime_PlayMotion(b, motions.back().c_str(), -1.0f);
        }
        if (!expressions.empty()) {
            Anime_SetExpression(a, expressions[0].c_str());
            Anime_SetExpression(b, expressions.back().c_str());
        }
        Anime_SetWind(a, 2.0f, 0.0f);
        Anime_SetAlpha(b, 0.5f);
        Anime_SetScale(b, -1.0f, 2.0f);
        fz::RunFrames(b);
        Anime_ClearExpression(a);
        Anime_StopAllOverlays(b);
        Anime_Update(16.0f);
        Anime_Render();
        Anime_DestroyInstance(a);
        Anime_UnloadModel("m");
        if (Anime_GetInstanceCount() != 0) {
            fz::Fail("instances outlive their model");
        }
    }
    fz::FinishLibrary();
    return 0;
}
