// Springs as the host sees them: a spring pulls its target part away from
// where the hierarchy put it, driven by its anchor's jumps, gravity and
// wind, and shaped by its stiffness and damping.
#include <iterator>
#include <string>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// The displacement after the first 16 ms step from rest under a force.
float FirstStep(float force) {
    const float h = 16.0f / 1000.0f;
    return (force * h) * h;
}

using Physics = ApiTest;

TEST_F(Physics, SpringMovesItsTargetFromTheParentAnchor) {
    // body (label 1) at (100, 50); hair (2) the spring's target; tip (3) its
    // child, which stays where the hierarchy put it.
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "body", "texture": "t", "position": [100, 50], "srcRect": [1, 0, 0, 0]},
        {"name": "hair", "texture": "t", "parent": "body", "position": [0, 10],
         "srcRect": [2, 0, 0, 0]},
        {"name": "tip", "texture": "t", "parent": "hair", "position": [0, 5],
         "srcRect": [3, 0, 0, 0]}],
        "physics": [{"target": "hair"}, {"target": "nobody"}]})");
    // The anchor (the body) jumped from the origin: pushed back by 8 x
    // (100, 50), plus gravity 50 downward.
    // Updates without a step still add the offset. A reset puts the spring
    // at rest, and the next step sees the anchor jump from the origin again.
    for (const char* steps : {"new m; u 16; 1.x 100; 1.y 50; 3.x 100; 3.y 65", "u 0", "u -5",
                              "u 16; reset; id 2; reset; id 1; u 0; 2.x 100; 2.y 60; u 16"}) {
        run(steps);
        EXPECT_EQ(drawn(2)->x, 100.0f + FirstStep(-800.0f)) << steps;
        EXPECT_EQ(drawn(2)->y, 60.0f + FirstStep(50.0f - 400.0f)) << steps;
    }
    // A step is capped at 33 ms.
    run("reset; u 100");
    const float h = 0.033f;
    EXPECT_EQ(drawn(2)->x, 100.0f + (-800.0f * h) * h);
}

TEST_F(Physics, AnchorsWindsAndSpringsThatAdd) {
    // The ribbon has no parent, yet its spring looks the empty name up and
    // finds the part called "" at (30, 20); without such a part it is
    // anchored at the origin and nothing moves.
    const std::string ribbon = R"(, "texture": "t", "position": [30, 20]},
        {"name": "ribbon", "texture": "t", "srcRect": [1, 0, 0, 0]}],
        "physics": [{"target": "ribbon", "gravity": [0, 0]}]})";
    loadModel("with", R"({"textures": {"t": "t.png"}, "parts": [{"name": "")" + ribbon);
    loadModel("without", R"({"textures": {"t": "t.png"}, "parts": [{"name": "base")" + ribbon);
    run("new with; u 16");
    EXPECT_EQ(drawn(1)->x, FirstStep(-240.0f));
    EXPECT_EQ(drawn(1)->y, FirstStep(-160.0f));
    run("destroy; new without; u 16; 1.x 0; 1.y 0");

    // The global wind adds to the instance's own during the update only,
    // also when it blows only vertically.
    loadModel("flag", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "flag", "texture": "t", "srcRect": [1, 0, 0, 0]}],
        "physics": [{"target": "flag", "gravity": [0, 0], "wind": 1}]})");
    run("destroy; new flag; wind 1 0; id 99; wind 9 9; id 3; gwind 2 0; u 16; 1.y 0");
    EXPECT_EQ(drawn(1)->x, FirstStep(150.0f));  // 50 x 1 x (1 + 2)
    run("gwind 0 0; reset; u 16");
    EXPECT_EQ(drawn(1)->x, FirstStep(50.0f));
    run("gwind 0 1; reset; u 16");
    EXPECT_EQ(drawn(1)->y, FirstStep(50.0f));

    // Springs on one target add.
    loadModel("bell", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "bell", "texture": "t", "position": [10, 0], "srcRect": [1, 0, 0, 0]}],
        "physics": [{"target": "bell", "gravity": [1, 0]}, {"target": "bell", "gravity": [0, 2]}]})");
    run("gwind 0 0; destroy; new bell; u 16");
    EXPECT_EQ(drawn(1)->x, (10.0f + FirstStep(100.0f)) + FirstStep(0.0f));
    EXPECT_EQ(drawn(1)->y, (0.0f + FirstStep(0.0f)) + FirstStep(200.0f));
}

TEST_F(Physics, StiffnessAndDampingShapeTheSwingAndDefaultTo03And07) {
    // One root part per spring (anchored at the origin, so only gravity
    // pulls). Under gravity 50 a spring settles where stiffness x 60 x
    // offset balances it, whatever its damping.
    // clang-format off
    const char* const springs[] = {"", R"(, "stiffness": 0.3, "damping": 0.7)",
        R"(, "stiffness": 0.3)", R"(, "damping": 0.7)", R"(, "stiffness": 0.7, "damping": 0.3)",
        R"(, "stiffness": 0.6)", R"(, "damping": 2)"};
    // clang-format on
    std::string parts = R"({"textures": {"t": "t.png"}, "parts": [)";
    std::string physics = R"(], "physics": [)";
    for (size_t i = 0; i < std::size(springs); ++i) {
        const std::string comma = i > 0 ? ", " : "", name = "\"p" + std::to_string(i) + "\"";
        parts += comma + R"({"texture": "t", "name": )" + name + "}";
        physics += comma + R"({"target": )" + name + springs[i] + "}";
    }
    loadModel("m", parts + physics + "]}");
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

TEST_F(Physics, TheGlobalWindLeavesTheInstancesOwnWindExactly) {
    // Only the wind moves this spring, by a large factor so that a tiny own
    // wind still shows in the drawn position.
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"name": "leaf", "texture": "t"}],
        "physics": [{"target": "leaf", "stiffness": 0, "damping": 0, "gravity": [0, 0],
                     "wind": 1000000}]})");
    for (const std::string global : {"1", "nan", "inf", "-1e30"}) {
        SCOPED_TRACE(global);
        // The veteran feels the global wind, hidden or not, then a newcomer
        // with the same own wind must swing exactly like it.
        run("new m; wind 1e-8 -1e-8; gwind " + global + " " + global +
            "; up 10; vis 0; up 10; vis 1; gwind 0 0; reset");
        const uint32_t veteran = id_;
        run("new m; wind 1e-8 -1e-8; up 10; vis 0; r");
        const float veteranX = host().draws.at(0).x;
        run("vis 1; id " + std::to_string(veteran) + "; vis 0; r");
        EXPECT_GT(host().draws.at(0).x, 0.0f);  // the own wind alone moves the leaf
        EXPECT_EQ(Bits(veteranX), Bits(host().draws.at(0).x));
        Anime_DestroyAllInstances();
    }
}

}  // namespace
}  // namespace kivanime::test
