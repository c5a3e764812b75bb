// Anime_RenderInstance gives exactly Anime_Render's calls for one instance;
// Anime_GetPartTransform gives exactly the part's record fields, drawn or not.
#include <cstring>
#include <string>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

const std::string kHero = std::string(KIVANIME_SOURCE_DIR) + "/examples/hero/";

bool SameRecords(const std::vector<AnimeDrawParams>& a, const std::vector<AnimeDrawParams>& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(AnimeDrawParams)) == 0;
}

using RenderInstance = ApiTest;

TEST_F(RenderInstance, GivesRendersCallsForEachInstance) {
    ASSERT_EQ(Anime_LoadModel("hero", (kHero + "model.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadMotion("hero", (kHero + "motions/walk.json").c_str()), 1);
    // Created in an order unlike the draw order (2, 3, 1); the last one hidden.
    run("new hero; order 2; play walk 1; new hero; 3d 1 0 -300 900 150 60; angles 30 10 -4;"
        "new hero; order 1; scale -0.5 0.5; pos 40 10; new hero; vis 0");
    const uint32_t drawOrder[] = {2, 3, 1};
    for (int frame = 0; frame < 20; ++frame) {
        updateAndRender(25.0f);
        const std::vector<AnimeDrawParams> all = host().draws;
        host().draws.clear();
        for (uint32_t id : drawOrder) {
            Anime_RenderInstance(id);
        }
        ASSERT_GT(all.size(), 60u);
        ASSERT_TRUE(SameRecords(all, host().draws)) << "frame " << frame;
    }
    host().draws.clear();
    Anime_RenderInstance(4);  // hidden
    EXPECT_STREQ(Anime_GetLastError(), "");
    EXPECT_TRUE(host().draws.empty());
}

// A chain of parts under a 3D turn; `shown` decides whether every part is
// textured and visible or some are hidden, untextured or invisible through
// their parent. srcX labels each part's record.
std::string ChainModel(bool shown) {
    const std::string texture = shown ? "t" : "none";
    const std::string visible = shown ? "true" : "false";
    return R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "body", "texture": ")" +
           texture + R"(", "position": [10, 20], "rotation": 0.3, "scale": [1.5, 0.8],
         "depth": 5, "drawOrder": 2, "srcRect": [1, 0, 8, 8]},
        {"name": "arm", "texture": "t", "parent": "body", "visible": )" +
           visible + R"(, "position": [30, 0], "rotation": 0.2, "alpha": 0.5, "depth": -10,
         "drawOrder": 1, "srcRect": [2, 0, 8, 8]},
        {"name": "hand", "texture": "t", "parent": "arm", "position": [8, 4], "depth": 20,
         "srcRect": [3, 0, 8, 8]},
        {"name": "flat", "texture": "t", "ignore3D": true, "position": [-5, 7], "alpha": 0.5,
         "srcRect": [4, 0, 8, 8]}]})";
}

TEST_F(RenderInstance, PartTransformIsTheRecordDrawnOrNot) {
    loadModel("shown", ChainModel(true));
    const std::string hidden = ChainModel(false);
    ASSERT_EQ(Anime_LoadModelFromMemory("hidden", hidden.data(),
                                        static_cast<int32_t>(hidden.size()), nullptr),
              1);
    for (bool turned : {false, true}) {
        Anime_DestroyAllInstances();
        const std::string setup = std::string("; pos 100 -50; scale -2 0.75; alpha 0.5; 3d ") +
                                  (turned ? "1" : "0") + " 5 5 300 40 0; angles 35 -20 10;";
        run("new shown" + setup + "new hidden" + setup + "up 16");
        EXPECT_EQ(host().loadedPathsUtf8().back(), "t.png");  // no folder without a baseDir
        const uint32_t unshown = id_;
        const uint32_t shown = id_ - 1;
        host().draws.clear();
        Anime_RenderInstance(shown);
        ASSERT_EQ(host().draws.size(), 4u);
        const char* parts[] = {"body", "arm", "hand", "flat"};
        for (float label = 1.0f; label <= 4.0f; label += 1.0f) {
            const char* part = parts[static_cast<int>(label) - 1];
            float shownOut[6];
            float hiddenOut[6];
            ASSERT_EQ(Anime_GetPartTransform(shown, part, shownOut), 1);
            ASSERT_EQ(Anime_GetPartTransform(unshown, part, hiddenOut), 1);
            EXPECT_EQ(std::memcmp(shownOut, hiddenOut, sizeof shownOut), 0) << part;
            const AnimeDrawParams& d = *drawn(label);
            const float fromRecord[6] = {d.x, d.y, d.rotation, d.scaleX, d.scaleY, d.alpha};
            EXPECT_EQ(std::memcmp(shownOut, fromRecord, sizeof shownOut), 0) << part;
        }
    }
    float untouched[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(Anime_GetPartTransform(999, "body", untouched), 0);
    EXPECT_EQ(untouched[0], 7.0f);
    EXPECT_EQ(Anime_GetPartTransform(1, nullptr, untouched), 0);
}

}  // namespace
}  // namespace kivanime::test
