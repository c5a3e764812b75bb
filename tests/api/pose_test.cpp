// The part hierarchy as the host sees it in the draw records: rotate-then-
// scale composition, resolution whatever the list order, the pass limit, and
// parts that share a name.
#include <cstring>
#include <string>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// Draw records keyed by their srcX label, so that draw order does not matter.
std::vector<AnimeDrawParams> ByLabel(const std::vector<AnimeDrawParams>& draws, size_t count) {
    std::vector<AnimeDrawParams> out(count);
    for (const AnimeDrawParams& d : draws) {
        out.at(static_cast<size_t>(d.srcX)) = d;
    }
    return out;
}

using Pose = ApiTest;

TEST_F(Pose, ChildOffsetIsRotatedThenScaledByTheParent) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "parent", "texture": "t", "rotation": 1.5707963267948966, "scale": [2, 1],
         "alpha": 0.5, "srcRect": [0, 0, 0, 0]},
        {"name": "child", "parent": "parent", "texture": "t", "position": [1, 0],
         "rotation": 0.25, "scale": [3, 4], "alpha": 0.5, "srcRect": [1, 0, 0, 0]}]})");
    Anime_CreateInstance("m");
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 2u);
    const AnimeDrawParams child = ByLabel(host().draws, 2)[1];
    // Scale-then-rotate would give (0, 2).
    EXPECT_NEAR(child.x, 0.0f, 1e-6f);
    EXPECT_EQ(child.y, 1.0f);
    EXPECT_EQ(child.rotation, 0.25f + 1.5707963267948966f);
    EXPECT_EQ(child.scaleX, 6.0f);
    EXPECT_EQ(child.scaleY, 4.0f);
    EXPECT_EQ(child.alpha, 0.25f);
}

TEST_F(Pose, ListOrderDoesNotChangeTheResult) {
    // Parent and child carry the same labels in both files.
    const std::string parent = R"({"name": "arm", "parent": "body", "texture": "t",
        "position": [10, 3], "rotation": 0.7, "scale": [1.5, 0.5], "srcRect": [1, 0, 0, 0]})";
    const std::string child = R"({"name": "hand", "parent": "arm", "texture": "t",
        "position": [4, -2], "rotation": -0.3, "srcRect": [2, 0, 0, 0]})";
    const std::string root = R"({"name": "body", "texture": "t", "position": [50, 60],
        "rotation": 0.4, "scale": [2, 3], "srcRect": [0, 0, 0, 0]})";
    const std::string head = R"({"textures": {"t": "t.png"}, "parts": [)";
    loadModel("forward", head + root + "," + parent + "," + child + "]}");
    loadModel("backward", head + child + "," + parent + "," + root + "]}");
    Anime_CreateInstance("forward");
    updateAndRender(16.0f);
    const std::vector<AnimeDrawParams> forward = ByLabel(host().draws, 3);
    Anime_DestroyAllInstances();
    Anime_CreateInstance("backward");
    updateAndRender(16.0f);
    std::vector<AnimeDrawParams> backward = ByLabel(host().draws, 3);
    for (AnimeDrawParams& d : backward) {
        d.texture = forward[0].texture;  // the second instance got another handle
    }
    EXPECT_EQ(std::memcmp(forward.data(), backward.data(), 3 * sizeof(AnimeDrawParams)), 0);
    EXPECT_NE(forward[2].x, 4.0f);  // the hand really was composed
}

TEST_F(Pose, DeepChainsListedBackwardsResolveOnlyThirtyTwoLevels) {
    // Part "p<d>" sits at local (1, 0) under "p<d-1>"; listed deepest first,
    // each link costs one pass.
    std::string json = R"({"textures": {"t": "t.png"}, "parts": [)";
    for (int d = 39; d >= 0; --d) {
        json += R"({"name": "p)" + std::to_string(d) + R"(", "texture": "t", "position": [)" +
                (d == 0 ? std::string("0") : std::string("1")) + R"(, 0], "parent": ")" +
                (d == 0 ? std::string("") : "p" + std::to_string(d - 1)) + R"(", "srcRect": [)" +
                std::to_string(d) + R"(, 0, 0, 0]})" + (d ? "," : "]}");
    }
    loadModel("m", json);
    Anime_CreateInstance("m");
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 40u);
    const std::vector<AnimeDrawParams> parts = ByLabel(host().draws, 40);
    for (int d = 0; d < 40; ++d) {
        SCOPED_TRACE(d);
        // Resolved levels land at x = depth; the rest keep world = local.
        EXPECT_EQ(parts[static_cast<size_t>(d)].x, d < 32 ? static_cast<float>(d) : 1.0f);
    }
}

TEST_F(Pose, CyclesAndSelfParentsKeepTheirLocalPose) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "root", "texture": "t", "position": [100, 0], "srcRect": [0, 0, 0, 0]},
        {"name": "self", "parent": "self", "texture": "t", "position": [5, 6], "rotation": 1,
         "srcRect": [1, 0, 0, 0]},
        {"name": "underSelf", "parent": "self", "texture": "t", "position": [1, 1],
         "srcRect": [2, 0, 0, 0]},
        {"name": "a", "parent": "b", "texture": "t", "position": [7, 0], "srcRect": [3, 0, 0, 0]},
        {"name": "b", "parent": "a", "texture": "t", "position": [8, 0], "srcRect": [4, 0, 0, 0]},
        {"name": "orphan", "parent": "nobody", "texture": "t", "position": [9, 0],
         "srcRect": [5, 0, 0, 0]},
        {"name": "underOrphan", "parent": "orphan", "texture": "t", "position": [1, 0],
         "srcRect": [6, 0, 0, 0]}]})");
    Anime_CreateInstance("m");
    updateAndRender(16.0f);
    const std::vector<AnimeDrawParams> parts = ByLabel(host().draws, 7);
    EXPECT_EQ(parts[1].x, 5.0f);
    EXPECT_EQ(parts[1].rotation, 1.0f);
    EXPECT_EQ(parts[2].x, 1.0f);
    EXPECT_EQ(parts[3].x, 7.0f);
    EXPECT_EQ(parts[4].x, 8.0f);
    EXPECT_EQ(parts[5].x, 9.0f);   // an unknown parent makes a root
    EXPECT_EQ(parts[6].x, 10.0f);  // whose children resolve
}

TEST_F(Pose, ADuplicatedNameReachesTheLaterPart) {
    loadModel("m", R"({"textures": {"t": "t.png"}, "parts": [
        {"name": "dup", "texture": "t", "position": [100, 0], "srcRect": [0, 0, 0, 0]},
        {"name": "dup", "texture": "t", "position": [200, 0], "srcRect": [1, 0, 0, 0]},
        {"name": "kid", "parent": "dup", "texture": "t", "position": [1, 0],
         "srcRect": [2, 0, 0, 0]}],
      "motions": {"lift": {"duration": 100, "tracks": [{"part": "dup", "keyframes": [
          {"time": 0, "position": [0, 10]}, {"time": 100, "position": [0, 10]}]}]}}})");
    const uint32_t id = Anime_CreateInstance("m");
    ASSERT_EQ(Anime_PlayMotion(id, "lift", 1.0f), 1);
    updateAndRender(16.0f);
    const std::vector<AnimeDrawParams> parts = ByLabel(host().draws, 3);
    EXPECT_EQ(parts[0].x, 100.0f);  // still drawn, with its own pose
    EXPECT_EQ(parts[0].y, 0.0f);
    EXPECT_EQ(parts[1].x, 200.0f);
    EXPECT_EQ(parts[1].y, 10.0f);
    EXPECT_EQ(parts[2].x, 201.0f);
    EXPECT_EQ(parts[2].y, 10.0f);
}

}  // namespace
}  // namespace kivanime::test
