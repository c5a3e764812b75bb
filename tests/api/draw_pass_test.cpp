// What Anime_Render hands the host: one complete record per visible, textured
// part, instances by draw order, parts by their draw order.
#include <cstring>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// The srcX of each record, which these tests use as a part's label.
std::vector<float> Labels(const std::vector<AnimeDrawParams>& draws) {
    std::vector<float> labels;
    for (const AnimeDrawParams& d : draws) {
        labels.push_back(d.srcX);
    }
    return labels;
}

using DrawPass = ApiTest;

TEST_F(DrawPass, FillsEveryFieldOfTheRecord) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"name": "p", "texture": "t",
        "position": [20, -8], "rotation": 0.5, "scale": [2, 3], "alpha": 0.75,
        "anchor": [0.25, 1], "srcRect": [1, 2, 30, 40]}]})");
    const uint32_t id = Anime_CreateInstance("m");
    Anime_SetPosition(id, 100.0f, 50.0f);
    Anime_SetScale(id, 0.5f, -2.0f);
    Anime_SetAlpha(id, 0.5f);
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    const AnimeDrawParams& d = host().draws[0];
    EXPECT_EQ(d.texture, 100);
    EXPECT_EQ(d.x, 0.5f * 20.0f + 100.0f);
    EXPECT_EQ(d.y, -2.0f * -8.0f + 50.0f);
    EXPECT_EQ(Bits(d.reserved0), Bits(0.0f));
    EXPECT_EQ(Bits(d.reserved1), Bits(0.0f));
    EXPECT_EQ(d.rotation, 0.5f);
    EXPECT_EQ(d.scaleX, 0.5f * 2.0f);
    EXPECT_EQ(d.scaleY, -2.0f * 3.0f);
    EXPECT_EQ(d.alpha, 0.75f * 0.5f);
    EXPECT_EQ(d.reserved2, 0xFFFFFFFFu);
    EXPECT_EQ(d.anchorX, 0.25f);
    EXPECT_EQ(d.anchorY, 1.0f);
    EXPECT_EQ(d.srcX, 1.0f);
    EXPECT_EQ(d.srcY, 2.0f);
    EXPECT_EQ(d.srcWidth, 30.0f);
    EXPECT_EQ(d.srcHeight, 40.0f);

    // Defaults of anchor and source rectangle, and the same record again
    // when drawing twice without an update.
    loadModel("plain", R"({"textures": {"t": "t.png"}, "parts": [{"texture": "t"}]})");
    Anime_DestroyInstance(id);
    Anime_CreateInstance("plain");
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    const AnimeDrawParams first = host().draws[0];
    EXPECT_EQ(first.anchorX, 0.5f);
    EXPECT_EQ(first.anchorY, 0.5f);
    EXPECT_EQ(first.srcWidth, 0.0f);
    EXPECT_EQ(first.reserved2, 0xFFFFFFFFu);
    host().draws.clear();
    Anime_Render();
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_EQ(std::memcmp(&first, &host().draws[0], sizeof first), 0);
}

TEST_F(DrawPass, InstancesAreDrawnByDrawOrder) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"texture": "t"}]})");
    updateAndRender(16.0f);
    EXPECT_TRUE(host().draws.empty());  // no instances: no calls

    const uint32_t a = Anime_CreateInstance("m");  // texture 100
    const uint32_t b = Anime_CreateInstance("m");  // texture 101
    const uint32_t c = Anime_CreateInstance("m");  // texture 102
    Anime_SetDrawOrder(a, 5);
    Anime_SetDrawOrder(b, -3);
    Anime_SetDrawOrder(c, 2147483647);
    // Shows at once, without an update in between.
    host().draws.clear();
    Anime_Render();
    ASSERT_EQ(host().draws.size(), 3u);
    EXPECT_EQ(host().draws[0].texture, 101);
    EXPECT_EQ(host().draws[1].texture, 100);
    EXPECT_EQ(host().draws[2].texture, 102);

    Anime_SetDrawOrder(c, -2147483647 - 1);
    Anime_SetVisible(b, 0);
    host().draws.clear();
    Anime_Render();
    ASSERT_EQ(host().draws.size(), 2u);
    EXPECT_EQ(host().draws[0].texture, 102);
    EXPECT_EQ(host().draws[1].texture, 100);

    Anime_SetVisible(a, 0);
    Anime_SetVisible(c, 0);
    updateAndRender(16.0f);
    EXPECT_TRUE(host().draws.empty());
}

TEST_F(DrawPass, PartsAreDrawnByDrawOrderKeepingListOrderForTies) {
    // Labels in srcX; depth must not matter while the parallax is off.
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"texture": "t", "drawOrder": 2, "srcRect": [0, 0, 0, 0]},
        {"texture": "t", "drawOrder": 0, "srcRect": [1, 0, 0, 0], "depth": 9},
        {"texture": "t", "drawOrder": 1, "srcRect": [2, 0, 0, 0]},
        {"texture": "t", "drawOrder": 0, "srcRect": [3, 0, 0, 0], "depth": -9},
        {"texture": "t", "drawOrder": -1.9, "srcRect": [4, 0, 0, 0]},
        {"texture": "t", "drawOrder": 0, "srcRect": [5, 0, 0, 0]}]})");
    Anime_CreateInstance("m");
    updateAndRender(16.0f);
    EXPECT_EQ(Labels(host().draws), (std::vector<float>{4, 1, 3, 5, 2, 0}));
}

TEST_F(DrawPass, VisibilityTextureAndOpacityDecideWhatIsDrawn) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "hidden", "texture": "t", "visible": false, "srcRect": [0, 0, 0, 0]},
        {"name": "hiddenChild", "parent": "hidden", "texture": "t", "srcRect": [1, 0, 0, 0]},
        {"name": "grandChild", "parent": "hiddenChild", "texture": "t", "srcRect": [2, 0, 0, 0]},
        {"name": "bare", "srcRect": [3, 0, 0, 0]},
        {"name": "bareChild", "parent": "bare", "texture": "t", "srcRect": [4, 0, 0, 0]},
        {"name": "offChild", "parent": "bare", "texture": "t", "visible": false,
         "srcRect": [5, 0, 0, 0]},
        {"name": "unknownTexture", "texture": "nope", "srcRect": [6, 0, 0, 0]},
        {"name": "faint", "texture": "t", "alpha": 0.001, "srcRect": [7, 0, 0, 0]},
        {"name": "justVisible", "texture": "t", "alpha": 0.0011, "srcRect": [8, 0, 0, 0]},
        {"name": "numberVisible", "texture": "t", "visible": 0, "srcRect": [9, 0, 0, 0]},
        {"name": "fadedParent", "texture": "t", "alpha": 0.01, "srcRect": [10, 0, 0, 0]},
        {"name": "fadedChild", "parent": "fadedParent", "texture": "t", "alpha": 0.05,
         "srcRect": [11, 0, 0, 0]}]})");
    Anime_CreateInstance("m");
    updateAndRender(16.0f);
    EXPECT_EQ(Labels(host().draws), (std::vector<float>{4, 8, 9, 10}));
}

TEST_F(DrawPass, InstancePlacementScalesAboutTheModelOrigin) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"texture": "t",
        "position": [20, 10], "rotation": 0.25, "scale": [1.5, 2]}]})");
    const uint32_t id = Anime_CreateInstance("m");
    updateAndRender(16.0f);
    Anime_SetScale(id, -1.0f, 1.0f);
    Anime_SetPosition(id, 100.0f, 0.0f);
    host().draws.clear();
    Anime_Render();
    ASSERT_EQ(host().draws.size(), 1u);
    const AnimeDrawParams& d = host().draws[0];
    EXPECT_EQ(d.x, 80.0f);
    EXPECT_EQ(d.y, 10.0f);
    EXPECT_EQ(d.scaleX, -1.5f);
    EXPECT_EQ(d.scaleY, 2.0f);
    EXPECT_EQ(d.rotation, 0.25f);
}

TEST_F(DrawPass, BeforeTheFirstUpdatePartsDrawAtTheirConstructionDefaults) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "root", "texture": "t", "position": [30, 40], "rotation": 1, "scale": 2,
         "alpha": 0.5},
        {"name": "child", "parent": "root", "texture": "t", "position": [5, 5]},
        {"name": "off", "texture": "t", "visible": false}]})");
    const uint32_t id = Anime_CreateInstance("m");
    Anime_SetAlpha(id, 0.5f);
    Anime_SetPosition(id, 7.0f, 8.0f);
    host().draws.clear();
    Anime_Render();
    // The rest visibility is copied at creation; the world fields are not
    // computed yet, and the instance opacity enters only at an update.
    ASSERT_EQ(host().draws.size(), 2u);
    for (const AnimeDrawParams& d : host().draws) {
        EXPECT_EQ(d.x, 7.0f);
        EXPECT_EQ(d.y, 8.0f);
        EXPECT_EQ(d.rotation, 0.0f);
        EXPECT_EQ(d.scaleX, 1.0f);
        EXPECT_EQ(d.scaleY, 1.0f);
        EXPECT_EQ(d.alpha, 1.0f);
    }
    updateAndRender(0.0f);
    ASSERT_EQ(host().draws.size(), 2u);
    EXPECT_EQ(host().draws[0].x, 37.0f);
    EXPECT_EQ(host().draws[0].alpha, 0.25f);
    // An alpha set now shows only after the next update.
    Anime_SetAlpha(id, 1.0f);
    host().draws.clear();
    Anime_Render();
    EXPECT_EQ(host().draws[0].alpha, 0.25f);
    updateAndRender(0.0f);
    EXPECT_EQ(host().draws[0].alpha, 0.5f);
}

TEST_F(DrawPass, HiddenInstancesAreFrozenAndResume) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [{"name": "p", "texture": "t"}],
        "motions": {"slide": {"duration": 1000, "tracks": [{"part": "p", "keyframes": [
            {"time": 0, "position": [0, 0]}, {"time": 1000, "position": [1000, 0]}]}]}}})");
    const uint32_t id = Anime_CreateInstance("m");
    ASSERT_EQ(Anime_PlayMotion(id, "slide", 1.0f), 1);
    updateAndRender(100.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_FLOAT_EQ(host().draws[0].x, 100.0f);
    Anime_SetVisible(id, 0);
    for (int i = 0; i < 50; ++i) {
        Anime_Update(100.0f);
    }
    Anime_SetVisible(id, 1);
    host().draws.clear();
    Anime_Render();  // the pose the last visible update left
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_FLOAT_EQ(host().draws[0].x, 100.0f);
    updateAndRender(100.0f);
    EXPECT_FLOAT_EQ(host().draws[0].x, 200.0f);
}

}  // namespace
}  // namespace kivanime::test
