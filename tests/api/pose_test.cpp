// The part hierarchy as the host sees it in the draw records. (Resolution
// order, the pass limit, cycles and shared names are checked against the
// literal pass loop in render/reference_identity_test.cpp.)
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

}  // namespace
}  // namespace kivanime::test
