// Expression files through the C interface, loaded into a model whose
// instances are already blending: as a new expression, and replacing one in
// place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "kivanime.h"

namespace fz = kivanime::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string modelPath = fz::WriteScratch("base-model.json", fz::kBaseModel);
    fz::ResetLibrary();
    if (Anime_LoadModel("m", modelPath.c_str()) != 1) {
        fz::Fail("base model does not load");
    }
    const uint32_t a = Anime_CreateInstance("m");
    const uint32_t b = Anime_CreateInstance("m");
    Anime_PlayMotion(a, "idle", 1.0f);
    Anime_SetExpression(b, "smile");
    Anime_Update(10.0f);

    const std::string path = fz::WriteScratch("expression.json", data, size);
    if (Anime_LoadExpression("m", path.c_str()) == 1) {
        const std::string name =
            fz::FileName(std::string_view(reinterpret_cast<const char*>(data), size));
        // A name with a NUL byte cannot be asked for through the C interface.
        if (Anime_SetExpression(a, name.c_str()) != 1 && name.find('\0') == std::string::npos) {
            fz::Fail("loaded expression not settable");
        }
        fz::RunFrames(a);
        if (Anime_LoadExpression("m", path.c_str()) != 1) {
            fz::Fail("second load of the same expression failed");
        }
        Anime_SetExpression(b, name.c_str());
        Anime_Update(16.0f);
        Anime_Render();
        Anime_ClearExpression(a);
        Anime_Update(50.0f);
        Anime_Render();
    }
    Anime_UnloadModel("m");
    fz::FinishLibrary();
    return 0;
}
