// What the expression reader keeps of each key: a key that is absent stays
// unset (NaN, or -1 for visibility) so that it leaves the part alone, while
// a key present with the wrong kind reads as 0.
#include "model/expression_loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "json/json_parser.h"
#include "model/model_loader.h"

namespace kivanime {
namespace {

class ExpressionLoader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ReadModelJson(model_, ParseJson(R"({"textures": {"smile": "smile.png"},
            "parts": [{"name": "face"}, {"name": "eyes"}, {"name": "mouth"}]})"),
                                  ""));
    }
    AnimeModel model_;
};

TEST_F(ExpressionLoader, ParamFields) {
    const float U = NAN;  // unset
    constexpr int32_t N = kNoTextureSwap;
    const struct {
        const char* json;
        float x, y, rotation, scaleX, scaleY, alpha;
        int32_t visible, part, swap;
    } cases[] = {
        {R"({"part": "eyes", "rotation": null, "scaleX": "2", "scaleY": [1], "alpha": null,
             "visible": true})",
         U, U, 0, 0, 0, 0, 0, 1, N},
        {R"({"rotation": 0.5, "scaleX": 1.5, "scaleY": -2, "alpha": 0.25, "visible": 1})", U, U,
         0.5f, 1.5f, -2, 0.25f, 1, -1, N},
        {R"({"visible": 0.7, "part": 3, "textureSwap": 7})", U, U, U, U, U, U, 0, -1, N},
        {R"({"visible": -5, "part": "tail", "textureSwap": "smile"})", U, U, U, U, U, U, -5, -1, 0},
        {R"({"visible": 2.9, "textureSwap": "frown"})", U, U, U, U, U, U, 2, -1,
         kSwapToUnknownTexture},
        // Position needs two elements; there is no "scale" key.
        {R"({"position": [10], "scale": [2, 2]})", U, U, U, U, U, U, -1, -1, N},
        {R"({"position": [10, "a", 99]})", 10, 0, U, U, U, U, -1, -1, N},
    };
    auto same = [](float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const ExpressionParam p = ReadExpressionParamJson(model_, ParseJson(c.json));
        EXPECT_TRUE(same(p.x, c.x) && same(p.y, c.y) && same(p.rotation, c.rotation) &&
                    same(p.scaleX, c.scaleX) && same(p.scaleY, c.scaleY) && same(p.alpha, c.alpha))
            << p.x << " " << p.y << " " << p.rotation << " " << p.scaleX << " " << p.scaleY << " "
            << p.alpha;
        EXPECT_EQ(std::tie(p.visible, p.partIndex, p.textureSwapIndex),
                  std::tie(c.visible, c.part, c.swap));
    }
}

}  // namespace
}  // namespace kivanime
