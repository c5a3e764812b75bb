// The key tables the loaders walk and the lint checks against: every entry
// must be readable the way its kind says, and the walk must give the model's
// own keys (name, version, canvas) and read inline motions only once the
// parts they name are known, wherever they stand in the file.
#include "model/record_keys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "json/json_parser.h"
#include "model/expression_loader.h"
#include "model/model_loader.h"
#include "model/motion_loader.h"

namespace kivanime {
namespace {

// How many of the fields a key fills are set, and whether they all lie
// inside the record.
template <typename Record>
void ExpectReadable(std::span<const RecordKey<Record>> keys) {
    std::set<std::string_view> names;
    for (const RecordKey<Record>& key : keys) {
        SCOPED_TRACE(std::string(key.name));
        EXPECT_TRUE(!key.name.empty() && names.insert(key.name).second) << "empty or listed twice";
        const int ways = (key.fields != nullptr) + (key.read != nullptr) + !key.members.empty();
        ASSERT_EQ(ways, 1) << "a key is stored in exactly one way";
        if (!key.members.empty()) {
            EXPECT_EQ(key.want, Want::Object);
            ExpectReadable(key.members);
            continue;
        }
        if (key.read != nullptr) {
            EXPECT_TRUE(key.want == Want::Array || key.want == Want::Object ||
                        key.want == Want::String);
            continue;
        }
        Record record;
        const KeyFields f = key.fields(record);
        const char* begin = reinterpret_cast<const char*>(&record);
        int floats = 0;
        for (float* p : f.floats) {
            const char* at = reinterpret_cast<const char*>(p);
            floats += p != nullptr;
            EXPECT_TRUE(p == nullptr || (at >= begin && at < begin + sizeof(Record)));
        }
        const bool integer = f.integer != nullptr;
        const bool flag = f.flag != nullptr;
        const bool text = f.text != nullptr;
        // The floats fill from the first: ReadFields reads them in order.
        EXPECT_TRUE(floats == 0 || f.floats[static_cast<size_t>(floats - 1)] != nullptr);
        switch (key.want) {
            case Want::Number:
            case Want::Present:
                EXPECT_TRUE(floats == 1 && !integer && !flag && !text);
                break;
            case Want::Pair:
            case Want::Scale:
                EXPECT_TRUE(floats == 2 && !integer && !flag && !text);
                break;
            case Want::Quad:
                EXPECT_TRUE(floats == 4 && !integer && !flag && !text);
                break;
            case Want::Integer:
            case Want::PresentInt:
                EXPECT_TRUE(floats == 0 && integer && !flag && !text);
                break;
            case Want::Bool:
                EXPECT_TRUE(floats == 0 && !integer && flag && !text);
                break;
            case Want::String:
                EXPECT_TRUE(floats == 0 && !integer && !flag && text);
                break;
            case Want::Array:
            case Want::Object:
                ADD_FAILURE() << "an array or object needs a reader of its own";
                break;
        }
        EXPECT_TRUE(key.fallback.empty() || text) << "only a string has a fallback";
    }
}

TEST(RecordKeys, EveryKeyIsStoredAsItsKindIsRead) {
    ExpectReadable(kModelKeys);
    ExpectReadable(kPartKeys);
    ExpectReadable(kSpringKeys);
    ExpectReadable(kMotionKeys);
    ExpectReadable(kTrackKeys);
    ExpectReadable(kKeyframeKeys);
    ExpectReadable(kExpressionKeys);
    ExpectReadable(kParamKeys);
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
        EXPECT_EQ(model.name, c.name);
        EXPECT_EQ(model.version, c.version);
        EXPECT_EQ(model.canvasWidth, c.width);
        EXPECT_EQ(model.canvasHeight, c.height);
        EXPECT_EQ(model.baseDir, "dir/");
    }

    AnimeModel model;
    ASSERT_TRUE(ReadModelJson(model, ParseJson(R"({
        "motions": {"m": {"tracks": [{"part": "p", "keyframes": [{"textureSwap": "t"}]}]}},
        "expressions": {"e": {"params": [{"part": "p", "textureSwap": "t"}]}},
        "parts": [{"name": "q"}, {"name": "p"}], "textures": {"u": "u.png", "t": "t.png"}})"),
                              ""));
    const MotionTrack& track = model.findMotion("m")->tracks.at(0);
    EXPECT_EQ(track.partIndex, 1);
    EXPECT_EQ(track.keyframes.at(0).textureSwapIndex, 1);
    const ExpressionParam& param = model.findExpression("e")->params.at(0);
    EXPECT_EQ(param.partIndex, 1);
    EXPECT_EQ(param.textureSwapIndex, 1);
}

}  // namespace
}  // namespace kivanime
