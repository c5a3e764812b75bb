// What Anime_Render hands the host: one complete record per visible, textured
// part, instances by draw order, parts by their draw order. (How children are
// placed and hidden by their parents is pinned against the literal hierarchy
// loop in the render tests.)
#include <cstring>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using DrawPass = ApiTest;

TEST_F(DrawPass, FillsEveryFieldOfTheRecord) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"name": "p", "texture": "t",
        "position": [20, -8], "rotation": 0.5, "scale": [2, 3], "alpha": 0.75,
        "anchor": [0.25, 1], "srcRect": [1, 2, 30, 40]}]})");
    run("new m; pos 100 50; scale 0.5 -2; alpha 0.5; u 16");
    ASSERT_EQ(host().draws.size(), 1u);
    // x = 0.5 x 20 + 100, y = -2 x -8 + 50, scales 0.5 x 2 and -2 x 3, alpha
    // 0.75 x 0.5; both reserved floats +0, the tint white; compared bit for bit.
    const AnimeDrawParams expected{100,    110,         66,    0, 0, 0.5f, 1,  -6,
                                   0.375f, 0xFFFFFFFFu, 0.25f, 1, 1, 2,    30, 40};
    EXPECT_EQ(std::memcmp(&host().draws[0], &expected, sizeof expected), 0);

    // Defaults of anchor and source rectangle (an element that is not a
    // number reads as 0), and the same record again when drawing twice
    // without an update.
    loadModel("plain", R"({"textures": {"t": "t.png"},
        "parts": [{"texture": "t", "srcRect": [0, 0, 0, "x"]}]})");
    run("destroy; new plain; u 16");
    ASSERT_EQ(host().draws.size(), 1u);
    const AnimeDrawParams first = host().draws[0];
    EXPECT_EQ(first.anchorX, 0.5f);
    EXPECT_EQ(first.anchorY, 0.5f);
    EXPECT_EQ(first.srcWidth + first.srcHeight, 0.0f);
    render();
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_EQ(std::memcmp(&first, &host().draws[0], sizeof first), 0);
}

TEST_F(DrawPass, InstancesAreDrawnByDrawOrder) {
    // Labelled by texture handle: 100, 101, 102 in creation order.
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"texture": "t"}]})");
    updateAndRender(16.0f);
    EXPECT_TRUE(host().draws.empty());  // no instances: no calls
    const auto handles = [&]() {
        std::vector<int32_t> out;
        for (const AnimeDrawParams& d : host().draws) {
            out.push_back(d.texture);
        }
        return out;
    };
    // Shows at once, without an update in between.
    run("new m; order 5; new m; order -3; new m; order 2147483647; r");
    EXPECT_EQ(handles(), (std::vector<int32_t>{101, 100, 102}));
    run("order -2147483648; id 2; vis 0; r");
    EXPECT_EQ(handles(), (std::vector<int32_t>{102, 100}));
    run("id 1; vis 0; id 3; vis 0; u 16; draws -");
}

TEST_F(DrawPass, WhatIsDrawnAndInWhichOrder) {
    // Parts by draw order (truncated), list order for ties; depth does not
    // count while the parallax is off. Hidden, untextured and nearly
    // transparent parts are skipped, but an untextured part's children are
    // drawn; opacity multiplies down the hierarchy.
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"texture": "t", "drawOrder": 2, "srcRect": [0, 0, 0, 0]},
        {"texture": "t", "drawOrder": 0, "srcRect": [1, 0, 0, 0], "depth": 9},
        {"texture": "t", "drawOrder": 1, "srcRect": [2, 0, 0, 0]},
        {"texture": "t", "drawOrder": 0, "srcRect": [3, 0, 0, 0], "depth": -9},
        {"texture": "t", "drawOrder": -1.9, "srcRect": [4, 0, 0, 0]},
        {"texture": "t", "drawOrder": 0, "srcRect": [5, 0, 0, 0]}]})");
    loadModel("v", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "hidden", "texture": "t", "visible": false, "srcRect": [0, 0, 0, 0]},
        {"name": "bare", "srcRect": [3, 0, 0, 0]},
        {"name": "bareChild", "parent": "bare", "texture": "t", "srcRect": [4, 0, 0, 0]},
        {"name": "unknownTexture", "texture": "nope", "srcRect": [6, 0, 0, 0]},
        {"name": "faint", "texture": "t", "alpha": 0.001, "srcRect": [7, 0, 0, 0]},
        {"name": "justVisible", "texture": "t", "alpha": 0.0011, "srcRect": [8, 0, 0, 0]},
        {"name": "numberVisible", "texture": "t", "visible": 0, "srcRect": [9, 0, 0, 0]},
        {"name": "fadedParent", "texture": "t", "alpha": 0.01, "srcRect": [10, 0, 0, 0]},
        {"name": "fadedChild", "parent": "fadedParent", "texture": "t", "alpha": 0.05,
         "srcRect": [11, 0, 0, 0]}]})");
    run("new m; u 16; draws 4,1,3,5,2,0; destroy; new v; u 16; draws 4,8,9,10");
}

TEST_F(DrawPass, BeforeTheFirstUpdatePartsDrawAtTheirConstructionDefaults) {
    // The rest visibility is copied at creation; the world fields are not
    // computed yet, and the instance opacity enters only at an update.
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "root", "texture": "t", "position": [30, 40], "rotation": 1, "scale": 2,
         "alpha": 0.5, "srcRect": [1, 0, 0, 0]},
        {"name": "child", "parent": "root", "texture": "t", "position": [5, 5],
         "srcRect": [2, 0, 0, 0]},
        {"name": "off", "texture": "t", "visible": false, "srcRect": [3, 0, 0, 0]}]})");
    run("new m; alpha 0.5; pos 7 8; r; draws 1,2; 1.x 7; 1.y 8; 1.r 0; 1.sx 1; 1.sy 1; 1.a 1;"
        "2.x 7; 2.a 1; u 0; 1.x 37; 1.a 0.25; alpha 1; r; 1.a 0.25; u 0; 1.a 0.5");
}

}  // namespace
}  // namespace kivanime::test
