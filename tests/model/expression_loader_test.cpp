#include "model/expression_loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "json/json_parser.h"
#include "model/anime_model.h"
#include "model/model_loader.h"

namespace kivanime {
namespace {

bool Unset(float f) {
    return std::isnan(f);
}

class ExpressionLoader : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"face", "eyes", "mouth"}) {
            AnimePart part;
            part.name = name;
            model_.parts.push_back(part);
        }
        model_.textures.push_back({"smile", "smile.png"});
        RebuildModelIndex(model_);
    }

    // Reads one expression object given as text under the name argument.
    bool read(const std::string& json, std::string_view name = {}) {
        return ReadExpressionJson(model_, ParseJson(json), name);
    }

    ExpressionParam param(const std::string& json) {
        return ReadExpressionParamJson(model_, ParseJson(json));
    }

    AnimeModel model_;
};

TEST_F(ExpressionLoader, PresenceTestedKeysSetZeroForWrongKinds) {
    // Absent keys stay unset.
    ExpressionParam none = param(R"({"part": "eyes"})");
    EXPECT_EQ(none.part, "eyes");
    EXPECT_EQ(none.partIndex, 1);
    EXPECT_TRUE(Unset(none.x) && Unset(none.y) && Unset(none.rotation));
    EXPECT_TRUE(Unset(none.scaleX) && Unset(none.scaleY) && Unset(none.alpha));
    EXPECT_EQ(none.visible, -1);
    EXPECT_TRUE(none.textureSwap.empty());

    // Present with the wrong kind: 0, not unset.
    ExpressionParam wrong = param(
        R"({"part": "eyes", "rotation": null, "scaleX": "2", "scaleY": [1], "alpha": null,
            "visible": true})");
    EXPECT_EQ(wrong.rotation, 0.0f);
    EXPECT_EQ(wrong.scaleX, 0.0f);
    EXPECT_EQ(wrong.scaleY, 0.0f);
    EXPECT_EQ(wrong.alpha, 0.0f);
    EXPECT_EQ(wrong.visible, 0);  // true is not a number: hides

    ExpressionParam numbers =
        param(R"({"rotation": 0.5, "scaleX": 1.5, "scaleY": -2, "alpha": 0.25, "visible": 1})");
    EXPECT_EQ(numbers.rotation, 0.5f);
    EXPECT_EQ(numbers.scaleX, 1.5f);
    EXPECT_EQ(numbers.scaleY, -2.0f);
    EXPECT_EQ(numbers.alpha, 0.25f);
    EXPECT_EQ(numbers.visible, 1);

    // Truncated toward zero; negative means unset like an absent key.
    EXPECT_EQ(param(R"({"visible": 0.7})").visible, 0);
    EXPECT_EQ(param(R"({"visible": -1})").visible, -1);
    EXPECT_EQ(param(R"({"visible": -5})").visible, -5);
    EXPECT_EQ(param(R"({"visible": 2.9})").visible, 2);

    // "part" and "textureSwap" are tested for kind, not presence.
    ExpressionParam kinds = param(R"({"part": 3, "textureSwap": 7})");
    EXPECT_TRUE(kinds.part.empty());
    EXPECT_TRUE(kinds.textureSwap.empty());
    EXPECT_EQ(kinds.textureSwapIndex, kNoTextureSwap);

    // A swap is resolved to its texture, or marked as naming none.
    EXPECT_EQ(param(R"({"textureSwap": "smile"})").textureSwapIndex, 0);
    EXPECT_EQ(param(R"({"textureSwap": "frown"})").textureSwapIndex, kSwapToUnknownTexture);
    EXPECT_EQ(param(R"({"part": "tail"})").partIndex, -1);
}

TEST_F(ExpressionLoader, PositionNeedsTwoElementsAndThereIsNoScaleKey) {
    ExpressionParam one = param(R"({"position": [10]})");
    EXPECT_TRUE(Unset(one.x) && Unset(one.y));
    ExpressionParam mixed = param(R"({"position": [10, "a", 99]})");
    EXPECT_EQ(mixed.x, 10.0f);
    EXPECT_EQ(mixed.y, 0.0f);
    ExpressionParam notArray = param(R"({"position": 5})");
    EXPECT_TRUE(Unset(notArray.x) && Unset(notArray.y));

    ExpressionParam scale = param(R"({"scale": [2, 2]})");
    EXPECT_TRUE(Unset(scale.scaleX) && Unset(scale.scaleY));

    // An element that is not an object is still appended, all unset.
    ASSERT_TRUE(read(R"({"name": "e", "params": [3, {"part": "face", "alpha": 0}]})"));
    const AnimeExpression* e = model_.findExpression("e");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->params.size(), 2u);
    EXPECT_TRUE(e->params[0].part.empty());
    EXPECT_TRUE(Unset(e->params[0].alpha));
    EXPECT_EQ(e->params[0].partIndex, -1);
    EXPECT_EQ(e->params[1].alpha, 0.0f);
}

TEST_F(ExpressionLoader, NameResolution) {
    EXPECT_FALSE(read("[1, 2]"));
    EXPECT_FALSE(read("\"x\"", "named"));
    EXPECT_TRUE(model_.expressions.empty());

    ASSERT_TRUE(read(R"({"params": []})"));
    EXPECT_NE(model_.findExpression("unnamed"), nullptr);
    ASSERT_TRUE(read(R"({"name": 5})"));  // not a string: "unnamed" again
    EXPECT_EQ(model_.expressions.size(), 1u);

    ASSERT_TRUE(read(R"({"name": ""})"));
    const AnimeExpression* empty = model_.findExpression("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->name, "");

    // The name argument (a member key of a model file) wins over "name".
    ASSERT_TRUE(read(R"({"name": "inside"})", "key"));
    EXPECT_EQ(model_.findExpression("inside"), nullptr);
    ASSERT_NE(model_.findExpression("key"), nullptr);
    EXPECT_EQ(model_.findExpression("key")->name, "key");
    EXPECT_EQ(model_.findExpression("Key"), nullptr);  // case-sensitive
}

TEST_F(ExpressionLoader, BlendTimeAndInPlaceReplacement) {
    ASSERT_TRUE(read(R"({"name": "smile", "blendMs": 50,
        "params": [{"part": "mouth", "alpha": 0.5}, {"part": "eyes", "rotation": 1}]})"));
    const AnimeExpression* first = model_.findExpression("smile");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->blendMs, 50.0f);
    ASSERT_EQ(first->params.size(), 2u);

    // A string holding a number is not a number: the default.
    ASSERT_TRUE(read(R"({"name": "smile", "blendMs": "300", "params": [{"part": "face"}]})"));
    const AnimeExpression* second = model_.findExpression("smile");
    EXPECT_EQ(second, first);  // same record, so players pointing at it follow
    EXPECT_EQ(second->blendMs, 200.0f);
    ASSERT_EQ(second->params.size(), 1u);
    EXPECT_EQ(second->params[0].part, "face");
    EXPECT_EQ(second->params[0].partIndex, 0);

    ASSERT_TRUE(read(R"({"name": "plain"})"));
    EXPECT_EQ(model_.findExpression("plain")->blendMs, 200.0f);
    EXPECT_TRUE(model_.findExpression("plain")->params.empty());
    ASSERT_TRUE(read(R"({"name": "plain", "blendMs": 0, "params": {"part": "face"}})"));
    EXPECT_EQ(model_.findExpression("plain")->blendMs, 0.0f);
    EXPECT_TRUE(model_.findExpression("plain")->params.empty());
}

TEST_F(ExpressionLoader, FilesAndInlineExpressions) {
    // Inline: the member key names the expression unless it is empty; a
    // member that is not an object is skipped. Params resolve against the
    // parts read from the same file.
    AnimeModel model;
    ASSERT_TRUE(ReadModelJson(model, ParseJson(R"({"parts": [{"name": "face"}],
        "expressions": {"happy": {"name": "sad", "params": [{"part": "face", "alpha": 1}]},
                        "skip": 4,
                        "": {"name": "from-inside"}}})"),
                              ""));
    EXPECT_EQ(model.expressions.size(), 2u);
    ASSERT_NE(model.findExpression("happy"), nullptr);
    EXPECT_EQ(model.findExpression("happy")->params.at(0).partIndex, 0);
    EXPECT_EQ(model.findExpression("sad"), nullptr);
    EXPECT_EQ(model.findExpression("skip"), nullptr);
    EXPECT_NE(model.findExpression("from-inside"), nullptr);
}

}  // namespace
}  // namespace kivanime
