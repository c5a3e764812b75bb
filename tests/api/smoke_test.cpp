#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

using ApiSmoke = ApiTest;

TEST_F(ApiSmoke, LoadsCreatesAndDraws) {
    loadModel("m", R"({"textures": {"t": "t.png"},
        "parts": [{"name": "a", "texture": "t", "position": [3, 4]}]})");
    uint32_t id = Anime_CreateInstance("m");
    ASSERT_EQ(id, 1u);
    ASSERT_EQ(host().loads.size(), 1u);
    EXPECT_EQ(host().loadedPathsUtf8()[0], dir_ + "m/t.png");
    updateAndRender(16.0f);
    ASSERT_EQ(host().draws.size(), 1u);
    EXPECT_EQ(host().draws[0].x, 3.0f);
    EXPECT_EQ(host().draws[0].y, 4.0f);
    EXPECT_EQ(host().draws[0].reserved2, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace kivanime::test
