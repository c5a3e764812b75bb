// The framing every export shares: an id that names no instance (0, never
// handed out, or destroyed) and a NULL name are failures that change nothing,
// and the stored instance settings are clamped as documented.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// One textured part that a motion moves, an expression fades and a spring
// pulls, so that every per-instance export has something to change.
constexpr const char* kModel = R"({
  "textures": {"t": "t.png"},
  "parts": [{"name": "a", "texture": "t", "position": [10, 20], "alpha": 0.5, "depth": 40}],
  "physics": [{"target": "a", "stiffness": 0, "damping": 0, "gravity": [0, 0], "wind": 1}],
  "motions": {"still": {"duration": 1000, "loop": true},
              "walk": {"duration": 1000, "loop": true, "tracks": [{"part": "a", "keyframes": [
      {"time": 0, "position": [0, 0]}, {"time": 1000, "position": [100, 0]}]}]}},
  "expressions": {"smile": {"blendMs": 0, "params": [{"part": "a", "alpha": 0.2}]}}
})";

// Calls every export that takes an instance id with `id`, and checks the
// failure results.
void CallEveryInstanceExport(uint32_t id) {
    SCOPED_TRACE(id);
    EXPECT_EQ(Anime_PlayMotion(id, "walk", 1.0f), 0);
    Anime_StopMotion(id);
    EXPECT_EQ(Anime_IsMotionPlaying(id), 0);
    EXPECT_EQ(Anime_IsMotionFinished(id), 0);
    EXPECT_EQ(Anime_PlayOverlay(id, "walk", 1.0f, 1.0f), 0);
    Anime_StopOverlay(id, "walk");
    Anime_StopAllOverlays(id);
    EXPECT_EQ(Anime_SetExpression(id, "smile"), 0);
    Anime_ClearExpression(id);
    Anime_SetPosition(id, 5.0f, 6.0f);
    float x = 7.0f;
    float y = 7.0f;
    Anime_GetPosition(id, &x, &y);
    EXPECT_EQ(Bits(x), Bits(0.0f));
    EXPECT_EQ(Bits(y), Bits(0.0f));
    Anime_GetPosition(id, nullptr, nullptr);
    Anime_SetScale(id, 3.0f, 3.0f);
    Anime_SetAlpha(id, 0.0f);
    Anime_SetVisible(id, 0);
    Anime_SetDrawOrder(id, 9);
    Anime_SetWind(id, 100.0f, 100.0f);
    Anime_ResetPhysics(id);
    Anime_Set3DSetup(id, 1, 1.0f, 2.0f, 300.0f, 0.0f, 0.0f);
    Anime_Set3DAngles(id, 30.0f, 20.0f, 10.0f);
    Anime_Set3DStrength(id, 2.0f, 2.0f);
    Anime_DestroyInstance(id);
}

using ExportsFraming = ApiTest;

TEST_F(ExportsFraming, UnknownZeroAndDestroyedIdsChangeNothing) {
    loadModel("m", kModel);
    const uint32_t live = Anime_CreateInstance("m");
    const uint32_t gone = Anime_CreateInstance("m");
    ASSERT_EQ(live, 1u);
    ASSERT_EQ(gone, 2u);
    Anime_DestroyInstance(gone);
    // The live instance plays, so that a stray call reaching it would show.
    ASSERT_EQ(Anime_PlayMotion(live, "walk", 1.0f), 1);
    Anime_SetWind(live, 0.0f, 0.0f);
    updateAndRender(16.0f);
    host().loads.clear();
    host().releases.clear();

    for (uint32_t id : {0u, 3u, 0xFFFFFFFFu, gone}) {
        CallEveryInstanceExport(id);
    }

    EXPECT_TRUE(host().loads.empty());
    EXPECT_TRUE(host().releases.empty());
    EXPECT_EQ(Anime_GetInstanceCount(), 1);
    EXPECT_EQ(Anime_IsMotionPlaying(live), 1);
    float x = 7.0f;
    float y = 7.0f;
    Anime_GetPosition(live, &x, &y);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.0f);

    // Still visible, opaque, unscaled, unmoved by wind, on its own clock.
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    const AnimeDrawParams& d = host().draws[0];
    EXPECT_FLOAT_EQ(d.x, 10.0f + 100.0f * (32.0f / 1000.0f));
    EXPECT_EQ(d.y, 20.0f);
    EXPECT_EQ(d.alpha, 0.5f);
    EXPECT_EQ(d.scaleX, 1.0f);
}

TEST_F(ExportsFraming, NullNamesFailBeforeAnything) {
    loadModel("m", kModel);
    const std::string motion = writeFile("walk.json", R"({"name": "run"})");
    const uint32_t id = Anime_CreateInstance("m");
    ASSERT_NE(id, 0u);
    // Overlays act on top of a main motion.
    ASSERT_EQ(Anime_PlayMotion(id, "still", 1.0f), 1);
    ASSERT_EQ(Anime_PlayOverlay(id, "walk", 1.0f, 1.0f), 1);

    EXPECT_EQ(Anime_LoadModel(nullptr, motion.c_str()), 0);
    EXPECT_EQ(Anime_LoadModel("other", nullptr), 0);
    EXPECT_EQ(Anime_LoadModel(nullptr, nullptr), 0);
    EXPECT_EQ(Anime_LoadMotion(nullptr, motion.c_str()), 0);
    EXPECT_EQ(Anime_LoadMotion("m", nullptr), 0);
    EXPECT_EQ(Anime_LoadExpression(nullptr, motion.c_str()), 0);
    EXPECT_EQ(Anime_LoadExpression("m", nullptr), 0);
    EXPECT_EQ(Anime_CreateInstance(nullptr), 0u);
    EXPECT_EQ(Anime_PlayMotion(id, nullptr, 1.0f), 0);
    EXPECT_EQ(Anime_PlayOverlay(id, nullptr, 1.0f, 1.0f), 0);
    EXPECT_EQ(Anime_SetExpression(id, nullptr), 0);
    Anime_StopOverlay(id, nullptr);
    Anime_UnloadModel(nullptr);

    EXPECT_EQ(Anime_GetInstanceCount(), 1);
    EXPECT_EQ(Anime_IsMotionPlaying(id), 1);
    // The overlay still moves the part: StopOverlay(NULL) removed nothing.
    updateAndRender(500.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_GT(host().draws[0].x, 10.0f);
    // The motion file was never read into the model.
    EXPECT_EQ(Anime_PlayMotion(id, "run", 1.0f), 0);
    // Unknown names fail the same way.
    EXPECT_EQ(Anime_PlayMotion(id, "nope", 1.0f), 0);
    EXPECT_EQ(Anime_PlayOverlay(id, "nope", 1.0f, 1.0f), 0);
    EXPECT_EQ(Anime_SetExpression(id, "nope"), 0);
    EXPECT_EQ(Anime_LoadMotion("nope", motion.c_str()), 0);
    EXPECT_EQ(Anime_CreateInstance("nope"), 0u);
}

TEST_F(ExportsFraming, AlphaIsClampedToZeroOne) {
    loadModel("m", kModel);
    const uint32_t id = Anime_CreateInstance("m");
    struct Case {
        float set;
        float drawn;  // 0 means not drawn
    };
    const Case cases[] = {{2.5f, 0.5f},
                          {-1.0f, 0.0f},
                          {std::numeric_limits<float>::quiet_NaN(), 0.5f},
                          {0.25f, 0.125f},
                          {std::numeric_limits<float>::infinity(), 0.5f},
                          {-std::numeric_limits<float>::infinity(), 0.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        Anime_SetAlpha(id, c.set);
        // Opacity enters at the update, not at the draw.
        host().draws.clear();
        Anime_Render();
        updateAndRender(0.0f);
        if (c.drawn == 0.0f) {
            EXPECT_TRUE(host().draws.empty());
        } else {
            ASSERT_EQ(host().draws.size(), 1u);
            EXPECT_EQ(host().draws[0].alpha, c.drawn);
        }
    }
}

TEST_F(ExportsFraming, CountsOnAFreshLibrary) {
    Anime_Init(nullptr);
    EXPECT_EQ(Anime_GetInstanceCount(), 0);
    EXPECT_EQ(Anime_HasInstances(), 0);
    loadModel("m", kModel);
    Anime_CreateInstance("m");
    EXPECT_EQ(Anime_GetInstanceCount(), 1);
    EXPECT_EQ(Anime_HasInstances(), 1);
    Anime_UnloadAll();
    EXPECT_EQ(Anime_HasInstances(), 0);
}

}  // namespace
}  // namespace kivanime::test
