// The global wind acts on every instance during Anime_Update and leaves each
// instance's own wind exactly as the host set it, whatever the values.
#include <cmath>
#include <limits>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// A spring with no stiffness, damping or gravity: only the wind moves it, by
// a large factor so that a tiny own wind still shows in the drawn position.
constexpr const char* kWindModel = R"({"textures": {"t": "t.png"},
  "parts": [{"name": "leaf", "texture": "t"}],
  "physics": [{"target": "leaf", "stiffness": 0, "damping": 0, "gravity": [0, 0],
               "wind": 1000000}]})";

float DrawnX() {
    Anime_Render();
    return RecordingHost::Get().draws.empty() ? -1.0f : RecordingHost::Get().draws.back().x;
}

using GlobalWind = ApiTest;

TEST_F(GlobalWind, TheInstanceKeepsItsOwnWindExactly) {
    loadModel("m", kWindModel);
    const float blows[] = {1.0f, std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(), -1e30f};
    for (float global : blows) {
        SCOPED_TRACE(global);
        Anime_SetGlobalWind(0.0f, 0.0f);
        const uint32_t veteran = Anime_CreateInstance("m");
        Anime_SetWind(veteran, 1e-8f, -1e-8f);
        Anime_SetGlobalWind(global, global);
        Anime_Update(10.0f);
        Anime_SetVisible(veteran, 0);  // hidden instances take the wind steps too
        Anime_Update(10.0f);
        Anime_SetVisible(veteran, 1);
        Anime_SetGlobalWind(0.0f, 0.0f);

        // A newcomer that never felt the global wind, with the same own wind.
        const uint32_t fresh = Anime_CreateInstance("m");
        Anime_SetWind(fresh, 1e-8f, -1e-8f);
        Anime_ResetPhysics(veteran);
        host().draws.clear();
        Anime_Update(10.0f);
        Anime_SetVisible(fresh, 0);
        const float veteranX = DrawnX();
        Anime_SetVisible(fresh, 1);
        Anime_SetVisible(veteran, 0);
        host().draws.clear();
        const float freshX = DrawnX();

        EXPECT_GT(freshX, 0.0f);  // the own wind alone moves the leaf
        EXPECT_EQ(Bits(veteranX), Bits(freshX));
        Anime_DestroyAllInstances();
    }
}

}  // namespace
}  // namespace kivanime::test
