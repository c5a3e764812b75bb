#include <string>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// "face" rests at x 5; the looping motion "pose" adds 15 (so x 20 after the
// motions) and a rotation of 0.25. Expressions pull x toward 100 or 50.
// Draw records: [0] face, [1] mouth.
constexpr const char* kModel = R"({
  "textures": {"a": "a.png", "b": "b.png"},
  "parts": [
    {"name": "face", "texture": "a", "position": [5, 0]},
    {"name": "mouth", "texture": "a", "position": [0, 30]}
  ],
  "motions": {"pose": {"duration": 1000, "loop": true, "tracks": [{"part": "face",
    "keyframes": [{"time": 0, "position": [15, 0], "rotation": 0.25},
                  {"time": 1000, "position": [15, 0], "rotation": 0.25}]}]}},
  "expressions": {
    "smile": {"blendMs": 200, "params": [{"part": "face", "position": [100, 0]},
                                        {"part": "mouth", "alpha": 0.5}]},
    "wide": {"params": [{"part": "face", "position": [50, 0]}]},
    "slow": {"blendMs": 400, "params": [{"part": "face", "position": [100, 0],
                                         "textureSwap": "b"},
                                        {"part": "mouth", "visible": 0},
                                        {"part": "nobody", "alpha": 0}]},
    "snap": {"blendMs": 0, "params": [{"part": "face", "position": [100, 0]}]}
  }
})";

class Expressions : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        loadModel("m", kModel);
        id_ = Anime_CreateInstance("m");
        ASSERT_NE(id_, 0u);
        ASSERT_EQ(Anime_PlayMotion(id_, "pose", 1.0f), 1);
    }

    // Updates by dt and returns the face's drawn x (weight w shows as
    // 20 + 80 w for the expressions that pull x to 100).
    float faceX(float dt) {
        updateAndRender(dt);
        EXPECT_GE(host().draws.size(), 1u);
        return host().draws.empty() ? -1.0f : host().draws[0].x;
    }

    uint32_t id_ = 0;
};

TEST_F(Expressions, FadeInAndOut) {
    EXPECT_EQ(faceX(100.0f), 20.0f);
    ASSERT_EQ(Anime_SetExpression(id_, "smile"), 1);
    EXPECT_EQ(faceX(100.0f), 60.0f);  // weight 0.5
    EXPECT_EQ(host().draws[1].alpha, 0.75f);
    EXPECT_EQ(host().draws[0].rotation, 0.25f);  // unset rotation: the motion's
    EXPECT_EQ(faceX(100.0f), 100.0f);            // weight 1
    EXPECT_EQ(host().draws[1].alpha, 0.5f);
    EXPECT_EQ(host().draws[0].rotation, 0.25f);
    EXPECT_EQ(faceX(100.0f), 100.0f);  // stays at 1

    Anime_ClearExpression(id_);
    EXPECT_EQ(faceX(100.0f), 60.0f);
    EXPECT_EQ(faceX(100.0f), 20.0f);
    EXPECT_EQ(host().draws[1].alpha, 1.0f);
    EXPECT_EQ(faceX(100.0f), 20.0f);

    // Back on from weight 0 at the same rate.
    ASSERT_EQ(Anime_SetExpression(id_, "smile"), 1);
    EXPECT_EQ(faceX(50.0f), 40.0f);  // weight 0.25: 20 + (100 - 20) x 0.25
}

TEST_F(Expressions, NoBlendTimeSwitchesAtOnceAndKeepsTheWeight) {
    ASSERT_EQ(Anime_SetExpression(id_, "snap"), 1);
    EXPECT_EQ(faceX(16.0f), 100.0f);
    Anime_ClearExpression(id_);  // no rate was ever set: off at once
    EXPECT_EQ(faceX(16.0f), 20.0f);
    // The weight was left at 1, so a blended expression now shows at full.
    ASSERT_EQ(Anime_SetExpression(id_, "smile"), 1);
    EXPECT_EQ(faceX(16.0f), 100.0f);
    // Clearing now fades at the rate of "smile"; "snap" keeps that rate.
    ASSERT_EQ(Anime_SetExpression(id_, "snap"), 1);
    Anime_ClearExpression(id_);
    EXPECT_EQ(faceX(100.0f), 60.0f);
}

TEST_F(Expressions, VisibilityAndTexturesActFromHalfWeight) {
    ASSERT_EQ(Anime_SetExpression(id_, "slow"), 1);
    updateAndRender(100.0f);  // weight 0.25
    ASSERT_EQ(host().draws.size(), 2u);
    EXPECT_EQ(host().draws[0].x, 40.0f);
    EXPECT_EQ(host().draws[0].texture, 100);
    updateAndRender(100.0f);  // weight 0.5: the mouth hides, the face swaps
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_EQ(host().draws[0].x, 60.0f);
    EXPECT_EQ(host().draws[0].texture, 101);

    Anime_ClearExpression(id_);
    updateAndRender(100.0f);  // 0.25: visibility back to the rest pose
    ASSERT_EQ(host().draws.size(), 2u);
    EXPECT_EQ(host().draws[0].x, 40.0f);
    EXPECT_EQ(host().draws[0].texture, 101);  // a swap stays
    updateAndRender(100.0f);
    ASSERT_EQ(host().draws.size(), 2u);
    EXPECT_EQ(host().draws[0].x, 20.0f);
    EXPECT_EQ(host().draws[0].texture, 101);
}

TEST_F(Expressions, SwitchingUnknownNamesAndReloads) {
    ASSERT_EQ(Anime_SetExpression(id_, "smile"), 1);
    faceX(100.0f);
    EXPECT_EQ(faceX(100.0f), 100.0f);
    // One weight per instance: B replaces A at full in the next frame.
    ASSERT_EQ(Anime_SetExpression(id_, "wide"), 1);
    EXPECT_EQ(faceX(16.0f), 50.0f);
    EXPECT_EQ(host().draws[1].alpha, 1.0f);  // A's mouth alpha is gone

    EXPECT_EQ(Anime_SetExpression(id_, "nope"), 0);
    EXPECT_EQ(Anime_SetExpression(id_, "Wide"), 0);
    EXPECT_EQ(Anime_SetExpression(id_, nullptr), 0);
    EXPECT_EQ(Anime_SetExpression(id_ + 1, "wide"), 0);
    Anime_ClearExpression(id_ + 1);
    EXPECT_EQ(faceX(16.0f), 50.0f);

    // Replacing the record under the same name: the instance follows from
    // the next update, at its current weight.
    std::string path = writeFile("wide.json", R"({"name": "wide", "blendMs": 100,
        "params": [{"part": "face", "position": [0, 0]}]})");
    ASSERT_EQ(Anime_LoadExpression("m", path.c_str()), 1);
    Anime_Render();
    EXPECT_EQ(host().draws[0].x, 50.0f);  // no update yet
    EXPECT_EQ(faceX(16.0f), 0.0f);

    EXPECT_EQ(Anime_LoadExpression("m", (dir_ + "missing.json").c_str()), 0);
    EXPECT_EQ(Anime_LoadExpression("other", path.c_str()), 0);
    EXPECT_EQ(Anime_LoadExpression(nullptr, path.c_str()), 0);
    EXPECT_EQ(Anime_LoadExpression("m", nullptr), 0);
    std::string notObject = writeFile("list.json", "[1]");
    EXPECT_EQ(Anime_LoadExpression("m", notObject.c_str()), 0);

    // A file without a name is stored as "unnamed".
    std::string unnamed = writeFile("u.json", R"({"blendMs": 0,
        "params": [{"part": "face", "position": [7, 0]}]})");
    ASSERT_EQ(Anime_LoadExpression("m", unnamed.c_str()), 1);
    ASSERT_EQ(Anime_SetExpression(id_, "unnamed"), 1);
    EXPECT_EQ(faceX(16.0f), 7.0f);
}

TEST_F(Expressions, HiddenInstanceFreezesTheWeight) {
    ASSERT_EQ(Anime_SetExpression(id_, "smile"), 1);
    EXPECT_EQ(faceX(100.0f), 60.0f);
    Anime_SetVisible(id_, 0);
    Anime_Update(100.0f);
    Anime_Update(100.0f);
    Anime_SetVisible(id_, 1);
    EXPECT_EQ(faceX(0.0f), 60.0f);
    EXPECT_EQ(faceX(100.0f), 100.0f);
}

TEST_F(Expressions, AtWeightZeroNothingIsTouched) {
    // Blending at weight 0 would still turn a rotation of -0 into +0.
    Anime_DestroyInstance(id_);
    loadModel("z", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "p", "texture": "t", "rotation": -0.0}]})");
    const std::string path =
        writeFile("z.json", R"({"name": "turn", "blendMs": 100, "params": [{"part": "p",
            "rotation": 1}]})");
    ASSERT_EQ(Anime_LoadExpression("z", path.c_str()), 1);
    const uint32_t id = Anime_CreateInstance("z");
    ASSERT_EQ(Anime_SetExpression(id, "turn"), 1);
    updateAndRender(0.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_EQ(Bits(host().draws[0].rotation), Bits(-0.0f));
}

}  // namespace
}  // namespace kivanime::test
