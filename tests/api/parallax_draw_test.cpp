#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// Every part has its own texture, so a draw's handle names its part:
// 100 right, 101 left, 102 flat (ignore3D), 103 back (drawOrder -1).
constexpr const char* kModel = R"({
  "textures": {"r": "r.png", "l": "l.png", "f": "f.png", "b": "b.png"},
  "parts": [
    {"name": "right", "texture": "r", "position": [100, 0], "depth": 10},
    {"name": "left", "texture": "l", "position": [-100, 0], "depth": -10},
    {"name": "flat", "texture": "f", "position": [100, 0], "depth": 5, "ignore3D": true},
    {"name": "back", "texture": "b", "position": [0, 0], "depth": 100, "drawOrder": -1}
  ]
})";

class Parallax : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        loadModel("m", kModel);
        id_ = Anime_CreateInstance("m");
        ASSERT_NE(id_, 0u);
        Anime_Update(16.0f);
    }

    // Renders without updating and returns the handles in drawing order.
    std::vector<int32_t> render() {
        host().draws.clear();
        Anime_Render();
        std::vector<int32_t> handles;
        for (const AnimeDrawParams& p : host().draws) {
            handles.push_back(p.texture);
        }
        return handles;
    }

    const AnimeDrawParams& drawOf(int32_t handle) {
        for (const AnimeDrawParams& p : host().draws) {
            if (p.texture == handle) {
                return p;
            }
        }
        ADD_FAILURE() << "texture " << handle << " not drawn";
        return host().draws.at(0);
    }

    uint32_t id_ = 0;
};

TEST_F(Parallax, DepthOrdersEqualDrawOrdersOnlyWithTheParallaxOn) {
    // Off: part-list order within a draw order, whatever the depth.
    EXPECT_EQ(render(), (std::vector<int32_t>{103, 100, 101, 102}));

    // On at rest: the raw depths decide (-10, 5, 10).
    Anime_Set3DSetup(id_, 1, 0.0f, 0.0f, 1500.0f, 0.0f, 0.0f);
    EXPECT_EQ(render(), (std::vector<int32_t>{103, 101, 102, 100}));

    // Yaw 30 turns the right part away (depth about -50 + 10 x cos 30) and
    // the left one forward (about 50 - 8.7); the ignore3D part keeps 5.
    Anime_Set3DAngles(id_, 30.0f, 0.0f, 0.0f);
    EXPECT_EQ(render(), (std::vector<int32_t>{103, 100, 102, 101}));
    Anime_Set3DAngles(id_, -30.0f, 0.0f, 0.0f);
    EXPECT_EQ(render(), (std::vector<int32_t>{103, 101, 102, 100}));

    // Switched off, the angles are kept for later but the order is plain.
    Anime_Set3DSetup(id_, 0, 0.0f, 0.0f, 1500.0f, 0.0f, 0.0f);
    EXPECT_EQ(render(), (std::vector<int32_t>{103, 100, 101, 102}));
    Anime_Set3DSetup(id_, 1, 0.0f, 0.0f, 1500.0f, 0.0f, 0.0f);
    EXPECT_EQ(render(), (std::vector<int32_t>{103, 101, 102, 100}));
}

TEST_F(Parallax, SettersShowAtTheNextRenderAndIgnore3DPartsStayPut) {
    render();
    EXPECT_EQ(drawOf(100).x, 100.0f);

    Anime_Set3DSetup(id_, 1, 0.0f, 0.0f, 1500.0f, 0.0f, 0.0f);
    Anime_Set3DAngles(id_, 0.0f, 0.0f, 90.0f);
    Anime_SetPosition(id_, 1000.0f, 0.0f);
    render();  // no update in between
    EXPECT_NEAR(drawOf(100).x, 1000.0f, 1e-3f);
    EXPECT_NEAR(drawOf(100).y, 100.0f, 1e-3f);
    EXPECT_EQ(drawOf(100).rotation, 90.0f * 0.017453292f);
    // The ignore3D part is drawn at its resolved pose.
    EXPECT_EQ(drawOf(102).x, 1100.0f);
    EXPECT_EQ(drawOf(102).y, 0.0f);
    EXPECT_EQ(drawOf(102).rotation, 0.0f);
    EXPECT_EQ(drawOf(102).scaleX, 1.0f);

    // Drawing twice gives the same records.
    const std::vector<AnimeDrawParams> before = host().draws;
    render();
    ASSERT_EQ(host().draws.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(Bits(host().draws[i].x), Bits(before[i].x));
        EXPECT_EQ(Bits(host().draws[i].scaleX), Bits(before[i].scaleX));
    }
}

TEST_F(Parallax, SettersClampTheirValues) {
    // A focal distance of 10 is taken as 50: yaw 30 moves the right part
    // (depth 10 turned off by strength 0) to depth -50, so k = 50 / 100.
    Anime_Set3DSetup(id_, 1, 0.0f, 0.0f, 10.0f, -5.0f, -5.0f);
    Anime_Set3DStrength(id_, -3.0f, 1.0f);
    Anime_Set3DAngles(id_, 30.0f, 0.0f, 0.0f);
    render();
    EXPECT_NEAR(drawOf(100).x, 0.5f * 86.60254f, 1e-3f);
    EXPECT_NEAR(drawOf(100).scaleX, 0.5f * 0.8660254f, 1e-5f);
    EXPECT_NEAR(drawOf(100).scaleY, 0.5f, 1e-5f);

    // A negative perspective strength switches the perspective off, and the
    // negative radii bent nothing.
    Anime_Set3DStrength(id_, -3.0f, -3.0f);
    render();
    EXPECT_NEAR(drawOf(100).x, 86.60254f, 1e-3f);
    EXPECT_NEAR(drawOf(100).scaleX, 0.8660254f, 1e-6f);
    EXPECT_EQ(drawOf(100).scaleY, 1.0f);

    // The depth strength back at 1: the part's own depth counts again.
    Anime_Set3DStrength(id_, 1.0f, -3.0f);
    render();
    EXPECT_NEAR(drawOf(100).x, 86.60254f + 10.0f * 0.5f, 1e-3f);

    // Unknown ids are ignored.
    Anime_Set3DSetup(id_ + 1, 0, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    Anime_Set3DAngles(id_ + 1, 0.0f, 0.0f, 0.0f);
    Anime_Set3DStrength(id_ + 1, 0.0f, 0.0f);
    render();
    EXPECT_NEAR(drawOf(100).x, 91.60254f, 1e-3f);
}

}  // namespace
}  // namespace kivanime::test
