// Expressions blend toward their targets over their blend time, one weight
// per instance, on top of the motions.
#include <string>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// "face" (label 1) rests at x 5; the looping motion "pose" adds 15 (so x 20
// after the motions) and a rotation of 0.25. Expressions pull x toward 100
// (weight w shows as 20 + 80 w) or 50. "mouth" is label 2.
constexpr const char* kModel = R"({
  "textures": {"a": "a.png", "b": "b.png"},
  "parts": [
    {"name": "face", "texture": "a", "position": [5, 0], "srcRect": [1, 0, 0, 0]},
    {"name": "mouth", "texture": "a", "position": [0, 30], "srcRect": [2, 0, 0, 0]}
  ],
  "motions": {"pose": {"duration": 1000, "loop": true, "tracks": [{"part": "face",
    "keyframes": [{"time": 0, "position": [15, 0], "rotation": 0.25},
                  {"time": 1000, "position": [15, 0], "rotation": 0.25}]}]}},
  "expressions": {
    "smile": {"blendMs": 200, "params": [{"part": "face", "position": [100, 0]},
                                        {"part": "mouth", "alpha": 0.5}]},
    "wide": {"name": "inner", "params": [{"part": "face", "position": [50, 0]}]},
    "slow": {"blendMs": 400, "params": [{"part": "face", "position": [100, 0],
                                         "textureSwap": "b"},
                                        {"part": "mouth", "visible": 0},
                                        {"part": "nobody", "alpha": 0}]},
    "snap": {"blendMs": 0, "params": [{"part": "face", "position": [100, 0]}]}
  }
})";

class Expressions : public ApiTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(Expressions, Script) {
    loadModel("m", kModel);
    run(std::string("new m; play pose 1;") + GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Expressions,
    ::testing::Values(
        // Fading in and out, from weight 0 again at the same rate; unset
        // fields keep the motion's values.
        "u 100; 1.x 20; expr smile; u 100; 1.x 60; 2.a 0.75; 1.r 0.25; u 100; 1.x 100; 2.a 0.5;"
        "1.r 0.25; u 100; 1.x 100; clear; u 100; 1.x 60; u 100; 1.x 20; 2.a 1; u 100; 1.x 20;"
        "expr smile; u 50; 1.x 40",
        // No blend time switches at once and keeps the weight; clearing then
        // fades at the rate last set.
        "expr snap; u 16; 1.x 100; clear; u 16; 1.x 20; expr smile; u 16; 1.x 100; expr snap;"
        "clear; u 100; 1.x 60",
        // Visibility and textures act from half weight; a swap stays.
        "expr slow; u 100; 1.x 40; 1.tex 100; draws 1,2; u 100; 1.x 60; 1.tex 101; draws 1;"
        "clear; u 100; draws 1,2; 1.x 40; 1.tex 101; u 100; 1.x 20; 1.tex 101",
        // One weight per instance: B replaces A at full in the next frame,
        // and A's mouth alpha is gone. Unknown names and ids change nothing.
        "expr smile; u 100; u 100; 1.x 100; expr wide; u 16; 1.x 50; 2.a 1; expr! nope;"
        "expr! Wide; id 2; expr! wide; clear; id 1; u 16; 1.x 50",
        // Without "blendMs" an expression takes 200 ms; its key names it.
        "expr wide; u 100; 1.x 35; expr! inner",
        // A negative time moves the weight away from its target, unclamped;
        // at its target the weight stays.
        "expr smile; u 200; 1.x 100; u -50; 1.x 100; clear; u 100; 1.x 60; u -50; 1.x 80",
        // A hidden instance freezes the weight.
        "expr smile; u 100; 1.x 60; vis 0; up 100; up 100; vis 1; u 0; 1.x 60; u 100; 1.x 100"));

using ExpressionFiles = ApiTest;

TEST_F(ExpressionFiles, ReloadsFollowAndWeightZeroTouchesNothing) {
    loadModel("m", kModel);
    run("new m; play pose 1; expr snap; u 16; expr wide; u 16; 1.x 50");
    // Replacing the record under the same name: the instance follows from
    // the next update, at its current weight.
    const std::string path = writeFile("wide.json", R"({"name": "wide", "blendMs": 100,
        "params": [{"part": "face", "position": [0, 0]}]})");
    ASSERT_EQ(Anime_LoadExpression("m", path.c_str()), 1);
    run("r; 1.x 50; u 16; 1.x 0");
    // A file whose name is not a string is stored as "unnamed".
    const std::string unnamed = writeFile("u.json", R"({"name": 5, "blendMs": 0,
        "params": [{"part": "face", "position": [7, 0]}]})");
    ASSERT_EQ(Anime_LoadExpression("m", unnamed.c_str()), 1);
    run("expr unnamed; u 16; 1.x 7");

    // At weight 0 nothing is touched, by an expression or an overlay:
    // blending would still turn a rotation of -0 into +0.
    loadModel("z", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "p", "texture": "t", "rotation": -0.0}],
        "motions": {"still": {"duration": 100}, "spin": {"duration": 100, "tracks": [
            {"part": "p", "keyframes": [{"time": 0, "rotation": 1}]}]}}})");
    const std::string turn = writeFile("z.json", R"({"name": "turn", "blendMs": 100,
        "params": [{"part": "p", "rotation": 1}]})");
    ASSERT_EQ(Anime_LoadExpression("z", turn.c_str()), 1);
    run("destroy; new z; play still 1; ov spin 1 0; expr turn; u 0");
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_EQ(Bits(host().draws[0].rotation), Bits(-0.0f));
}

}  // namespace
}  // namespace kivanime::test
