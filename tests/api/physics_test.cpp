#include <iterator>
#include <string>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// Draw records, in part order: [0] body, [1] hair (the spring's target),
// [2] tip (the target's child).
constexpr const char* kHairModel = R"({
  "textures": {"t": "t.png"},
  "parts": [
    {"name": "body", "texture": "t", "position": [100, 50]},
    {"name": "hair", "texture": "t", "parent": "body", "position": [0, 10]},
    {"name": "tip", "texture": "t", "parent": "hair", "position": [0, 5]}
  ],
  "physics": [{"target": "hair"}, {"target": "nobody"}]
})";

constexpr float kStepSeconds = 16.0f / 1000.0f;

// Displacement after the first 16 ms step from rest under a force (fx, fy).
struct Offset {
    float x;
    float y;
};
Offset FirstStep(float fx, float fy) {
    return {(fx * kStepSeconds) * kStepSeconds, (fy * kStepSeconds) * kStepSeconds};
}

using Physics = ApiTest;

TEST_F(Physics, SpringMovesItsTargetFromTheParentAnchor) {
    loadModel("m", kHairModel);
    const uint32_t id = Anime_CreateInstance("m");
    ASSERT_NE(id, 0u);
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 3u);
    // The anchor (the body at (100, 50)) jumped from the origin: pushed back
    // by 8 x (100, 50), plus gravity 50 downward.
    const Offset first = FirstStep(-800.0f, 50.0f - 400.0f);
    EXPECT_EQ(host().draws[0].x, 100.0f);
    EXPECT_EQ(host().draws[0].y, 50.0f);
    EXPECT_EQ(host().draws[1].x, 100.0f + first.x);
    EXPECT_EQ(host().draws[1].y, 60.0f + first.y);
    EXPECT_EQ(host().draws[2].x, 100.0f);  // the child stays where the hierarchy put it
    EXPECT_EQ(host().draws[2].y, 65.0f);

    // No step, but the offset is still added.
    updateAndRender(0.0f);
    EXPECT_EQ(host().draws[1].x, 100.0f + first.x);
    EXPECT_EQ(host().draws[1].y, 60.0f + first.y);
    updateAndRender(-5.0f);
    EXPECT_EQ(host().draws[1].x, 100.0f + first.x);

    // A reset puts the spring at rest, and the next step sees the anchor
    // jump from the origin again.
    updateAndRender(16.0f);
    EXPECT_NE(host().draws[1].x, 100.0f + first.x);
    Anime_ResetPhysics(id);
    Anime_ResetPhysics(id + 1);
    updateAndRender(0.0f);
    EXPECT_EQ(host().draws[1].x, 100.0f);
    EXPECT_EQ(host().draws[1].y, 60.0f);
    updateAndRender(16.0f);
    EXPECT_EQ(host().draws[1].x, 100.0f + first.x);
    EXPECT_EQ(host().draws[1].y, 60.0f + first.y);
}

TEST_F(Physics, PartNamedEmptyAnchorsParentlessTargets) {
    // The ribbon has no parent, yet its spring looks the empty name up and
    // finds the part called "".
    loadModel("with", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "", "texture": "t", "position": [30, 20]},
                  {"name": "ribbon", "texture": "t"}],
        "physics": [{"target": "ribbon", "gravity": [0, 0]}]})");
    loadModel("without", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "base", "texture": "t", "position": [30, 20]},
                  {"name": "ribbon", "texture": "t"}],
        "physics": [{"target": "ribbon", "gravity": [0, 0]}]})");
    ASSERT_NE(Anime_CreateInstance("with"), 0u);
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 2u);
    const Offset pushed = FirstStep(-240.0f, -160.0f);
    EXPECT_EQ(host().draws[0].x, 30.0f);  // the anchor itself does not move
    EXPECT_EQ(host().draws[1].x, pushed.x);
    EXPECT_EQ(host().draws[1].y, pushed.y);

    Anime_DestroyAllInstances();
    ASSERT_NE(Anime_CreateInstance("without"), 0u);
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 2u);
    EXPECT_EQ(host().draws[1].x, 0.0f);  // anchored at the origin: nothing moved
    EXPECT_EQ(host().draws[1].y, 0.0f);
}

TEST_F(Physics, GlobalWindAddsToOwnWindDuringTheUpdateOnly) {
    loadModel("m", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "flag", "texture": "t"}],
        "physics": [{"target": "flag", "gravity": [0, 0], "wind": 1}]})");
    const uint32_t id = Anime_CreateInstance("m");
    ASSERT_NE(id, 0u);
    Anime_SetWind(id, 1.0f, 0.0f);
    Anime_SetWind(id + 1, 9.0f, 9.0f);
    Anime_SetGlobalWind(2.0f, 0.0f);
    updateAndRender(16.0f);
    EXPECT_EQ(host().draws.at(0).x, FirstStep(150.0f, 0.0f).x);  // 50 x 1 x (1 + 2)
    EXPECT_EQ(host().draws.at(0).y, 0.0f);

    // Without the global wind again, the instance's own wind is what it was.
    Anime_SetGlobalWind(0.0f, 0.0f);
    Anime_ResetPhysics(id);  // keeps the wind
    updateAndRender(16.0f);
    EXPECT_EQ(host().draws.at(0).x, FirstStep(50.0f, 0.0f).x);

    // A global wind that only blows vertically counts too.
    Anime_SetGlobalWind(0.0f, 2.0f);
    Anime_ResetPhysics(id);
    updateAndRender(16.0f);
    EXPECT_EQ(host().draws.at(0).y, FirstStep(0.0f, 100.0f).y);
}

TEST_F(Physics, SpringsOnOneTargetAdd) {
    loadModel("m", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "bell", "texture": "t", "position": [10, 0]}],
        "physics": [{"target": "bell", "gravity": [1, 0]},
                    {"target": "bell", "gravity": [0, 2]}]})");
    ASSERT_NE(Anime_CreateInstance("m"), 0u);
    updateAndRender(16.0f);
    const Offset a = FirstStep(100.0f, 0.0f);
    const Offset b = FirstStep(0.0f, 200.0f);
    EXPECT_EQ(host().draws.at(0).x, (10.0f + a.x) + b.x);
    EXPECT_EQ(host().draws.at(0).y, (0.0f + a.y) + b.y);
}

TEST_F(Physics, StiffnessAndDampingShapeTheSwingAndDefaultTo03And07) {
    // One root part per spring (anchored at the origin, so only gravity
    // pulls). Under gravity 50 a spring settles where stiffness x 60 x
    // offset balances it, whatever its damping.
    const char* const springs[] = {"",
                                   R"(, "stiffness": 0.3, "damping": 0.7)",
                                   R"(, "stiffness": 0.3)",
                                   R"(, "damping": 0.7)",
                                   R"(, "stiffness": 0.7, "damping": 0.3)",
                                   R"(, "stiffness": 0.6)",
                                   R"(, "damping": 2)"};
    std::string parts, physics;
    for (size_t i = 0; i < std::size(springs); ++i) {
        const std::string name = "\"p" + std::to_string(i) + "\"";
        const std::string comma = i > 0 ? ", " : "";
        parts += comma + R"({"texture": "t", "name": )" + name + "}";
        physics += comma + R"({"target": )" + name + springs[i] + "}";
    }
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [)" + parts + R"(], "physics": [)" +
                       physics + "]}");
    ASSERT_NE(Anime_CreateInstance("m"), 0u);
    bool swingsDiffer = false;
    for (int frame = 1; frame <= 600; ++frame) {
        updateAndRender(16.0f);
        ASSERT_EQ(host().draws.size(), std::size(springs));
        const float y = host().draws[0].y;
        for (size_t i : {1, 2, 3}) {
            ASSERT_EQ(host().draws[i].y, y) << "spring " << i << " frame " << frame;
        }
        swingsDiffer = swingsDiffer || (host().draws[4].y != y && host().draws[6].y != y);
    }
    EXPECT_TRUE(swingsDiffer);
    EXPECT_NEAR(host().draws[0].y, 50.0f / 18.0f, 2e-3f);
    EXPECT_NEAR(host().draws[4].y, 50.0f / 42.0f, 2e-3f);
    EXPECT_NEAR(host().draws[5].y, 50.0f / 36.0f, 2e-3f);
}

}  // namespace
}  // namespace kivanime::test
