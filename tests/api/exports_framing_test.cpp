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
// pulls, so that every per-instance export has something to change. An
// inline motion is named by its key, or by its "name" under an empty key.
constexpr const char* kModel = R"({
  "textures": {"t": "t.png"},
  "parts": [{"name": "a", "texture": "t", "position": [10, 20], "alpha": 0.5, "depth": 40,
             "srcRect": [0, 0, 0, 0]}],
  "physics": [{"target": "a", "stiffness": 0, "damping": 0, "gravity": [0, 0], "wind": 1}],
  "motions": {"still": {"name": "other", "duration": 1000, "loop": true},
              "": {"name": "named"}, "skip": 3,
              "walk": {"duration": 1000, "loop": true, "tracks": [{"part": "a", "keyframes": [
      {"time": 0, "position": [0, 0]}, {"time": 1000, "position": [100, 0]}]}]}},
  "expressions": {"smile": {"blendMs": 0, "params": [{"part": "a", "alpha": 0.2}]}}
})";

// Every export that takes an instance id, on the current id, with its
// failure results; GetPosition leaves +0 in its outputs.
constexpr const char* kEveryInstanceExport =
    "play! walk 1; stop; playing 0; finished 0; ov! walk 1 1; stopov walk; stopall; expr! smile;"
    "clear; pos 5 6; scale 3 3; alpha 0; vis 0; order 9; wind 100 100; reset;"
    "3d 1 1 2 300 0 0; angles 30 20 10; strength 2 2; off! a 5 0 0 1 1 1; clearoff;"
    "ptex! a -; skin! -; tint 0 0 0; ptint! a 0 0 0; destroy";

using ExportsFraming = ApiTest;

TEST_F(ExportsFraming, UnknownZeroAndDestroyedIdsChangeNothing) {
    // Instance 1 plays, so that a stray call reaching it would show; 2 is
    // destroyed.
    loadModel("m", kModel);
    run("new m; new m; destroy; id 1; play walk 1; wind 0 0; u 16");
    host().loads.clear();
    host().releases.clear();
    for (uint32_t id : {0u, 2u, 3u, 0xFFFFFFFFu}) {
        run("id " + std::to_string(id) + ";" + kEveryInstanceExport);
        float x = 7.0f, y = 7.0f;
        Anime_GetPosition(id, &x, &y);
        EXPECT_EQ(Bits(x) + Bits(y), 0u) << id;
        Anime_GetPosition(id, nullptr, nullptr);
    }
    EXPECT_TRUE(host().loads.empty());
    EXPECT_TRUE(host().releases.empty());
    // Still visible, opaque, unscaled, untinted, unmoved by wind, offsets or
    // positions, on its own clock.
    run("id 1; count 1; playing 1; u 16; draws 0; 0.x= 13.2; 0.y 20; 0.a 0.5; 0.sx 1;"
        "0.tint ffffffff");
    // The instance's alpha is clamped to [0, 1], NaN counting as 1, and
    // enters at the update (the part's own alpha is 0.5).
    run("alpha 2.5; r; draws 0; u 0; 0.a 0.5; alpha -1; r; draws 0; u 0; draws -; alpha nan;"
        "u 0; 0.a 0.5; alpha 0.25; u 0; 0.a 0.125; alpha inf; u 0; 0.a 0.5; alpha -inf; u 0;"
        "draws -");
    EXPECT_EQ(Anime_HasInstances(), 1);
    Anime_UnloadAll();
    EXPECT_EQ(Anime_HasInstances(), 0);
}

TEST_F(ExportsFraming, NullNamesFailBeforeAnything) {
    loadModel("m", kModel);
    const std::string motion = writeFile("walk.json", R"({"name": "run"})");
    run("new m; play still 1; ov walk 1 1");  // overlays act on top of a main motion
    const uint32_t id = id_;

    // Each call answers 0 (the sum shows any that does not).
    const char* file = motion.c_str();
    EXPECT_EQ(Anime_LoadModel(nullptr, file) + Anime_LoadModel("other", nullptr) +
                  Anime_LoadModel(nullptr, nullptr) + Anime_LoadMotion(nullptr, file) +
                  Anime_LoadMotion("m", nullptr) + Anime_LoadExpression(nullptr, file) +
                  Anime_LoadExpression("m", nullptr) + Anime_CreateInstance(nullptr) +
                  Anime_PlayMotion(id, nullptr, 1.0f) + Anime_PlayOverlay(id, nullptr, 1.0f, 1.0f) +
                  Anime_SetExpression(id, nullptr) +
                  Anime_SetPartOffset(id, nullptr, 50, 0, 0, 1, 1, 1) +
                  Anime_SetPartTexture(id, nullptr, "t") + Anime_SetPartTint(id, nullptr, 0, 0, 0),
              0u);
    Anime_StopOverlay(id, nullptr);
    Anime_UnloadModel(nullptr);

    // The overlay still moves the part: StopOverlay(NULL) removed nothing.
    // The motion file was never read into the model; unknown names fail the
    // same way.
    run("count 1; playing 1; u 500; draws 0; play! run 1; play! nope 1; ov! nope 1 1;"
        "expr! nope; new! nope; play! other; play! skip; play named 1");
    EXPECT_GT(host().draws[0].x, 10.0f);
    EXPECT_EQ(Anime_LoadMotion("nope", motion.c_str()), 0);
}

}  // namespace
}  // namespace kivanime::test
