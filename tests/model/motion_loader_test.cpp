// What the motion reader keeps of each key, with its defaults and the
// shapes it accepts; how it names, replaces and sorts.
#include "model/motion_loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "json/json_parser.h"
#include "model/model_loader.h"

namespace kivanime {
namespace {

// Parts a, b, a (the second "a" is the one names resolve to) and textures
// t0, t1.
AnimeModel MakeModel() {
    AnimeModel model;
    EXPECT_TRUE(ReadModelJson(model, ParseJson(R"({"textures": {"t0": "0.png", "t1": "1.png"},
        "parts": [{"name": "a"}, {"name": "b"}, {"name": "a"}]})"),
                              ""));
    return model;
}

bool Read(AnimeModel& model, const std::string& json, std::string_view name = {}) {
    return ReadMotionJson(model, ParseJson(json), name);
}

TEST(MotionLoader, AReloadReplacesEveryKeyOfTheSameRecord) {
    // (That a reload takes effect for a playing instance shows through the
    // C interface.) A name that is not a string stores "unnamed"; every key
    // is replaced, and keys of the wrong kind read as their defaults (a
    // number does not count as true).
    AnimeModel model = MakeModel();
    ASSERT_TRUE(Read(model, R"({"name": 5, "duration": 500, "loop": true, "fadeIn": 1,
        "fadeOut": 2, "tracks": [{"part": "a"}, {"part": "b"}]})"));
    const AnimeMotion* first = model.findMotion("unnamed");
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(Read(model, R"({"duration": "5", "loop": 1, "fadeIn": true,
        "tracks": [{"part": "b", "keyframes": [{"time": 3}]}]})"));
    EXPECT_EQ(model.findMotion("unnamed"), first);  // players point at it
    EXPECT_EQ(std::tie(first->duration, first->loop, first->fadeIn, first->fadeOut),
              std::tuple(1000.0f, false, 0.0f, 0.0f));
    ASSERT_EQ(first->tracks.size(), 1u);
    EXPECT_EQ(first->tracks[0].partIndex, 1);
    EXPECT_EQ(model.motions.size(), 1u);
}

TEST(MotionLoader, MotionKeysAndTracks) {
    AnimeModel model = MakeModel();
    ASSERT_TRUE(Read(model, R"({"duration": 250.5, "loop": true, "fadeIn": 30, "fadeOut": 40,
        "tracks": {"part": "a"}})",
                     "set"));
    const AnimeMotion& s = *model.findMotion("set");
    EXPECT_EQ(std::tie(s.duration, s.loop, s.fadeIn, s.fadeOut),
              std::tuple(250.5f, true, 30.0f, 40.0f));
    EXPECT_TRUE(s.tracks.empty());  // "tracks" must be an array

    ASSERT_TRUE(Read(model, R"({"tracks": [{"part": "a"}, 5, "b", {"part": "b"}, {"part": "zz"},
        {"keyframes": [{}, 1]}, {"part": "A"}]})"));
    const AnimeMotion& m = *model.findMotion("unnamed");
    ASSERT_EQ(m.tracks.size(), 7u);
    // The last part named "a"; elements that are not objects still make
    // (inert) tracks; names are case-sensitive.
    const int32_t parts[] = {2, -1, -1, 1, -1, -1, -1};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(m.tracks[i].partIndex, parts[i]) << i;
    }
    EXPECT_EQ(m.tracks[5].keyframes.size(), 2u);  // a keyframe that is a number is all defaults
}

TEST(MotionLoader, KeyframeFields) {
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    const AnimeModel model = MakeModel();
    constexpr int32_t N = kNoTextureSwap;
    constexpr int32_t U = kSwapToUnknownTexture;
    constexpr EasingType L = EasingType::Linear;
    const struct {
        const char* json;
        float x, y, scaleX, scaleY;
        int32_t visible, swap;
        EasingType easing;
    } cases[] = {
        {"{}", 0, 0, 1, 1, -1, N, L},
        {R"({"position": [5]})", 0, 0, 1, 1, -1, N, L},
        {R"({"position": [5, "a", 7], "scale": 2})", 5, 0, 2, 2, -1, N, L},
        {R"({"position": 5, "scale": [2]})", 0, 0, 1, 1, -1, N, L},
        {R"({"position": {"x": 5}, "scale": [null, 3]})", 0, 0, 1, 3, -1, N, L},
        {R"({"position": [null, -3], "scale": "2"})", 0, -3, 1, 1, -1, N, L},
        {R"({"scale": [0, -1, 9], "visible": 0.9})", 0, 0, 0, -1, 0, N, L},
        {R"({"visible": -0.5, "easing": "step", "textureSwap": "t0"})", 0, 0, 1, 1, 0, 0,
         EasingType::Step},
        {R"({"visible": 7.9, "easing": 3, "textureSwap": "nope"})", 0, 0, 1, 1, 7, U, L},
        {R"({"visible": -3, "textureSwap": "t1"})", 0, 0, 1, 1, -3, 1, L},
        {R"({"visible": true, "textureSwap": 1})", 0, 0, 1, 1, -1, N, L},
        {R"({"visible": 2147483647})", 0, 0, 1, 1, 2147483647, N, L},
        {R"({"visible": 1e10})", 0, 0, 1, 1, kMin, N, L},  // out of range, as asInt reads it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const MotionKeyframe k = ReadKeyframeJson(model, ParseJson(c.json));
        const PoseChannels& p = k.channels;
        EXPECT_EQ(std::tie(p.x, p.y, p.scaleX, p.scaleY, k.visible, k.textureSwapIndex, k.easing),
                  std::tie(c.x, c.y, c.scaleX, c.scaleY, c.visible, c.swap, c.easing));
    }

    // (Every name is checked by the curve it picks, with the curves.)
    for (const char* text : {"", "Step", "EASE_IN", "ease-in", "ease_in ", "ease", "linear\n"}) {
        EXPECT_EQ(ParseEasing(text), EasingType::Linear) << text;
    }
    EXPECT_EQ(ParseEasing(std::string_view("step\0x", 6)), EasingType::Linear);
}

TEST(MotionLoader, KeyframesSortByTimeStablyWithNaNLast) {
    // "-nan" and "1e999" read as numbers: NaN and infinity. Equal times, -0
    // and 0 among them, keep their file order.
    const MotionTrack track = ReadTrackJson(MakeModel(), ParseJson(R"({"keyframes": [
        {"time": -nan, "position": [1, 0]}, {"time": 1e999, "position": [2, 0]},
        {"time": 5, "position": [3, 0]}, {"time": -1e999, "position": [4, 0]},
        {"time": -nan, "position": [5, 0]}, {"time": 0, "position": [6, 0]},
        {"time": -0.0, "position": [7, 0]}, {"time": 5, "position": [8, 0]},
        {"position": [9, 0]}]})"));
    std::vector<float> xs;
    for (const MotionKeyframe& k : track.keyframes) {
        xs.push_back(k.channels.x);
    }
    EXPECT_EQ(xs, (std::vector<float>{4, 6, 7, 9, 3, 8, 2, 1, 5}));
    EXPECT_EQ(track.keyframes[0].time, -INFINITY);
    EXPECT_EQ(track.keyframes[6].time, INFINITY);
    EXPECT_TRUE(std::isnan(track.keyframes[8].time));
}

}  // namespace
}  // namespace kivanime
