// The key tables the loaders walk and the lint checks against: every entry
// must be readable the way its kind says, and the walk must give the model's
// own keys (name, version, canvas) and read inline motions only once the
// parts they name are known, wherever they stand in the file.
#include "model/record_keys.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "json/json_parser.h"
#include "model/binding_loader.h"
#include "model/expression_loader.h"
#include "model/model_loader.h"
#include "model/motion_loader.h"
#include "model/parameter_loader.h"

namespace kivanime {
namespace {

// Every key is stored in exactly one way: a reader of its own, the members
// of an object, or fields of the record that fit its kind (how many floats,
// then whether an integer, a flag, a string).
template <typename Record>
void ExpectReadable(std::span<const RecordKey<Record>> keys) {
    const std::map<Want, std::array<int, 4>> fieldsOfKind = {
        {Want::Number, {1, 0, 0, 0}},     {Want::Present, {1, 0, 0, 0}},
        {Want::Pair, {2, 0, 0, 0}},       {Want::Scale, {2, 0, 0, 0}},
        {Want::Quad, {4, 0, 0, 0}},       {Want::Integer, {0, 1, 0, 0}},
        {Want::PresentInt, {0, 1, 0, 0}}, {Want::Bool, {0, 0, 1, 0}},
        {Want::String, {0, 0, 0, 1}},
    };
    std::set<std::string_view> names;
    for (const RecordKey<Record>& key : keys) {
        SCOPED_TRACE(std::string(key.name));
        EXPECT_TRUE(!key.name.empty() && names.insert(key.name).second) << "empty or listed twice";
        ASSERT_EQ((key.fields != nullptr) + (key.read != nullptr) + !key.members.empty(), 1);
        EXPECT_TRUE(key.fallback.empty() || key.want == Want::String);
        if (!key.members.empty()) {
            EXPECT_EQ(key.want, Want::Object);
            ExpectReadable(key.members);
        } else if (key.read != nullptr) {
            // (A number with a reader: read with the record around it, which
            // knows what it means: a keyframe's deformStart and value, a
            // binding key's place.)
            EXPECT_TRUE(key.want == Want::Array || key.want == Want::Object ||
                        key.want == Want::String || key.want == Want::Integer ||
                        key.want == Want::Number || key.want == Want::Present);
        } else {
            Record record;
            const KeyFields f = key.fields(record);
            int floats = 0;
            while (floats < 4 && f.floats[static_cast<size_t>(floats)] != nullptr) {
                ++floats;
            }
            const std::array<int, 4> shape = {floats, f.integer != nullptr, f.flag != nullptr,
                                              f.text != nullptr};
            ASSERT_TRUE(fieldsOfKind.count(key.want)) << "an array or object needs a reader";
            EXPECT_EQ(shape, fieldsOfKind.at(key.want));
        }
    }
}

TEST(RecordKeys, EveryKeyIsStoredAsItsKindIsRead) {
    ExpectReadable(kModelKeys);
    ExpectReadable(kPartKeys);
    ExpectReadable(kSpringKeys);
    ExpectReadable(kMotionKeys);
    ExpectReadable(kTrackKeys);
    ExpectReadable(kKeyframeKeys);
    ExpectReadable(kEventKeys);
    ExpectReadable(kExpressionKeys);
    ExpectReadable(kParamKeys);
    ExpectReadable(kParameterKeys);
    ExpectReadable(kBindingKeys);
    ExpectReadable(kBindingKeyKeys);
}

TEST(RecordKeys, ModelKeysAndInlineMotionsThatComeBeforeTheirParts) {
    const struct {
        const char* json;
        const char* name;
        int32_t version, width, height;
    } cases[] = {
        {"{}", "unnamed", 1, 1024, 1024},
        {R"({"name": "", "version": 3.9, "canvas": {"width": 640, "height": "x", "w": 1}})", "", 3,
         640, 1024},
        {R"({"name": 7, "version": "2", "canvas": [800, 600]})", "unnamed", 1, 1024, 1024},
        {R"({"name": "hero", "canvas": {"height": -2, "canvas": {"width": 9}}, "width": 5})",
         "hero", 1, 1024, -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        AnimeModel model;
        ASSERT_TRUE(ReadModelJson(model, ParseJson(c.json), "dir/"));
        EXPECT_EQ(std::tie(model.name, model.version, model.canvasWidth, model.canvasHeight),
                  std::tie(c.name, c.version, c.width, c.height));
        EXPECT_EQ(model.baseDir, "dir/");
    }

    AnimeModel model;
    ASSERT_TRUE(ReadModelJson(model, ParseJson(R"({
        "motions": {"m": {"tracks": [{"part": "p", "keyframes": [{"textureSwap": "t"}]}]},
                    "all": {"tracks": [{"part": "p"}, {"part": "q"}]}},
        "expressions": {"e": {"params": [{"part": "p", "textureSwap": "t"}]}},
        "parts": [{"name": "q"}, {"name": "p"}], "textures": {"u": "u.png", "t": "t.png"}})"),
                              ""));
    const MotionTrack& track = model.findMotion("m")->tracks.at(0);
    EXPECT_EQ(track.partIndex, 1);
    EXPECT_EQ(track.keyframes.at(0).textureSwapIndex, 1);
    const ExpressionParam& param = model.findExpression("e")->params.at(0);
    EXPECT_EQ(param.partIndex, 1);
    EXPECT_EQ(param.textureSwapIndex, 1);
    // Only a motion with one track for every part may take the frame's short path.
    EXPECT_TRUE(model.findMotion("all")->drivesEveryPartOnce);
    EXPECT_FALSE(model.findMotion("m")->drivesEveryPartOnce);
    // A root that is not an object reads nothing.
    EXPECT_FALSE(ReadModelJson(model, ParseJson("[]"), ""));
    EXPECT_FALSE(ReadMotionJson(model, ParseJson("5"), "x"));
    EXPECT_FALSE(ReadExpressionJson(model, ParseJson("5"), "x"));
}

}  // namespace
}  // namespace kivanime
