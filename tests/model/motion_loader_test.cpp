#include "model/motion_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "json/json_parser.h"
#include "model/model_loader.h"

namespace kivanime {
namespace {

// Parts a, b, a (the second "a" is the one names resolve to) and textures
// t0, t1.
AnimeModel MakeModel() {
    AnimeModel model;
    const bool ok = ReadModelJson(model, ParseJson(R"({
        "textures": {"t0": "t0.png", "t1": "t1.png"},
        "parts": [{"name": "a"}, {"name": "b"}, {"name": "a"}]})"),
                                  "");
    EXPECT_TRUE(ok);
    return model;
}

bool Read(AnimeModel& model, const std::string& json, std::string_view name = {}) {
    return ReadMotionJson(model, ParseJson(json), name);
}

MotionKeyframe Keyframe(const std::string& json) {
    return ReadKeyframeJson(MakeModel(), ParseJson(json));
}

std::vector<float> Times(const MotionTrack& track) {
    std::vector<float> times;
    for (const MotionKeyframe& k : track.keyframes) {
        times.push_back(k.time);
    }
    return times;
}

TEST(MotionLoader, NameResolution) {
    AnimeModel model = MakeModel();
    // The name argument wins over "name"; without it "name" counts when it
    // is a string, even an empty one; otherwise "unnamed".
    EXPECT_TRUE(Read(model, R"({"name": "inner"})", "outer"));
    EXPECT_TRUE(Read(model, R"({"name": "walk"})"));
    EXPECT_TRUE(Read(model, R"({"name": ""})"));
    EXPECT_TRUE(Read(model, R"({"name": 5})"));
    ASSERT_EQ(model.motions.size(), 4u);
    for (const char* name : {"outer", "walk", "", "unnamed"}) {
        const AnimeMotion* motion = model.findMotion(name);
        ASSERT_NE(motion, nullptr) << name;
        EXPECT_EQ(motion->name, name);
    }
    EXPECT_EQ(model.findMotion("inner"), nullptr);
    EXPECT_EQ(model.findMotion("Walk"), nullptr);
    EXPECT_EQ(model.findMotion("wal"), nullptr);
    EXPECT_EQ(model.emptyNameMotion, model.findMotion(""));

    // Anything but an object is refused and changes nothing.
    for (const char* json : {"[]", "3", "\"walk\"", "null", ""}) {
        EXPECT_FALSE(Read(model, json, "walk")) << json;
    }
    EXPECT_EQ(model.motions.size(), 4u);
}

TEST(MotionLoader, ReloadReplacesTheRecordInPlace) {
    AnimeModel model = MakeModel();
    ASSERT_TRUE(Read(model, R"({"duration": 500, "loop": true, "fadeIn": 1, "fadeOut": 2,
        "tracks": [{"part": "a"}, {"part": "b"}]})"));
    const AnimeMotion* first = model.findMotion("unnamed");
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->tracks.size(), 2u);

    // Enough other motions to make the table rehash in between.
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(Read(model, "{}", "m" + std::to_string(i)));
    }
    ASSERT_TRUE(Read(model, R"({"tracks": [{"part": "b", "keyframes": [{"time": 3}]}]})"));
    const AnimeMotion* second = model.findMotion("unnamed");
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->name, "unnamed");
    EXPECT_EQ(second->duration, 1000.0f);
    EXPECT_FALSE(second->loop);
    EXPECT_EQ(second->fadeIn, 0.0f);
    EXPECT_EQ(second->fadeOut, 0.0f);
    ASSERT_EQ(second->tracks.size(), 1u);
    EXPECT_EQ(second->tracks[0].part, "b");
    EXPECT_EQ(second->tracks[0].partIndex, 1);
    EXPECT_EQ(model.motions.size(), 101u);
}

TEST(MotionLoader, MotionKeys) {
    AnimeModel model = MakeModel();
    ASSERT_TRUE(Read(model, "{}", "defaults"));
    ASSERT_TRUE(Read(model, R"({"duration": 250.5, "loop": true, "fadeIn": 30, "fadeOut": 40,
        "tracks": {"part": "a"}})",
                     "set"));
    ASSERT_TRUE(
        Read(model, R"({"duration": "5", "loop": 1, "fadeIn": true, "tracks": 7})", "wrong"));

    const AnimeMotion& d = *model.findMotion("defaults");
    EXPECT_EQ(d.duration, 1000.0f);
    EXPECT_FALSE(d.loop);
    EXPECT_EQ(d.fadeIn, 0.0f);
    EXPECT_EQ(d.fadeOut, 0.0f);
    EXPECT_TRUE(d.tracks.empty());

    const AnimeMotion& s = *model.findMotion("set");
    EXPECT_EQ(s.duration, 250.5f);
    EXPECT_TRUE(s.loop);
    EXPECT_EQ(s.fadeIn, 30.0f);
    EXPECT_EQ(s.fadeOut, 40.0f);
    EXPECT_TRUE(s.tracks.empty());  // "tracks" must be an array

    const AnimeMotion& w = *model.findMotion("wrong");
    EXPECT_EQ(w.duration, 1000.0f);
    EXPECT_FALSE(w.loop);  // a number does not count as true
    EXPECT_EQ(w.fadeIn, 0.0f);
    EXPECT_TRUE(w.tracks.empty());
}

TEST(MotionLoader, TracksAndPartNames) {
    AnimeModel model = MakeModel();
    ASSERT_TRUE(Read(model, R"({"tracks": [{"part": "a"}, 5, "b", {"part": "b"}, {"part": "zz"},
        {"keyframes": [{}, 1]}, {"part": "A"}]})"));
    const AnimeMotion& m = *model.findMotion("unnamed");
    ASSERT_EQ(m.tracks.size(), 7u);
    EXPECT_EQ(m.tracks[0].partIndex, 2);  // the last part named "a"
    // Elements that are not objects still make (inert) tracks.
    for (int i : {1, 2}) {
        EXPECT_EQ(m.tracks[i].part, "");
        EXPECT_TRUE(m.tracks[i].keyframes.empty());
        EXPECT_EQ(m.tracks[i].partIndex, -1);
    }
    EXPECT_EQ(m.tracks[3].partIndex, 1);
    EXPECT_EQ(m.tracks[4].partIndex, -1);  // no such part
    EXPECT_EQ(m.tracks[5].part, "");
    EXPECT_EQ(m.tracks[5].partIndex, -1);
    EXPECT_EQ(m.tracks[5].keyframes.size(), 2u);  // a keyframe that is a number is all defaults
    EXPECT_EQ(m.tracks[6].partIndex, -1);         // names are case-sensitive
}

TEST(MotionLoader, KeyframePositionAndScaleShapes) {
    struct Pair {
        const char* json;
        float a, b;
    };
    for (const Pair& p :
         {Pair{R"({"position": [5]})", 0, 0}, Pair{R"({"position": [5, "a", 7]})", 5, 0},
          Pair{R"({"position": 5})", 0, 0}, Pair{R"({"position": {"x": 5}})", 0, 0},
          Pair{R"({"position": [null, -3]})", 0, -3}}) {
        const MotionKeyframe k = Keyframe(p.json);
        EXPECT_EQ(k.x, p.a) << p.json;
        EXPECT_EQ(k.y, p.b) << p.json;
    }
    for (const Pair& p : {Pair{R"({"scale": 2})", 2, 2}, Pair{R"({"scale": [2]})", 1, 1},
                          Pair{R"({"scale": [null, 3]})", 1, 3}, Pair{R"({"scale": "2"})", 1, 1},
                          Pair{R"({"scale": [0, -1, 9]})", 0, -1}}) {
        const MotionKeyframe k = Keyframe(p.json);
        EXPECT_EQ(k.scaleX, p.a) << p.json;
        EXPECT_EQ(k.scaleY, p.b) << p.json;
    }
}

TEST(MotionLoader, KeyframeVisibility) {
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        const char* value;
        int32_t visible;
    };
    for (const Case& c :
         {Case{"0.9", 0}, Case{"-0.5", 0}, Case{"1", 1}, Case{"7.9", 7}, Case{"-1", -1},
          Case{"-3", -3}, Case{"true", -1}, Case{"false", -1}, Case{"\"0\"", -1},
          Case{"2147483647", 2147483647}, Case{"2147483648", kMin}, Case{"1e10", kMin},
          Case{"-1e10", kMin}, Case{"1e999", kMin}, Case{"-nan", kMin}}) {
        const std::string json = std::string(R"({"visible": )") + c.value + "}";
        EXPECT_EQ(Keyframe(json).visible, c.visible) << json;
    }
}

TEST(MotionLoader, EasingNamesAndTextureSwaps) {
    const char* names[] = {"linear",
                           "ease_in",
                           "ease_out",
                           "ease_in_out",
                           "ease_in_cubic",
                           "ease_out_cubic",
                           "ease_in_out_cubic",
                           "ease_in_back",
                           "ease_out_back",
                           "ease_out_bounce",
                           "step"};
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(ParseEasing(names[i]), static_cast<EasingType>(i)) << names[i];
    }
    for (const char* text : {"", "Step", "EASE_IN", "ease-in", "ease_in ", "ease", "linear\n"}) {
        EXPECT_EQ(ParseEasing(text), EasingType::Linear) << text;
    }
    EXPECT_EQ(ParseEasing(std::string_view("step\0x", 6)), EasingType::Linear);
    EXPECT_EQ(Keyframe(R"({"easing": 3})").easing, EasingType::Linear);
    EXPECT_EQ(Keyframe(R"({"easing": "step"})").easing, EasingType::Step);

    EXPECT_EQ(Keyframe(R"({"textureSwap": "t0"})").textureSwapIndex, 0);
    EXPECT_EQ(Keyframe(R"({"textureSwap": "nope"})").textureSwapIndex, kSwapToUnknownTexture);
    EXPECT_EQ(Keyframe(R"({"textureSwap": "nope"})").textureSwap, "nope");
    EXPECT_EQ(Keyframe(R"({"textureSwap": ""})").textureSwapIndex, kNoTextureSwap);
    EXPECT_EQ(Keyframe(R"({"textureSwap": 1})").textureSwapIndex, kNoTextureSwap);
}

TEST(MotionLoader, KeyframesAreSortedByTime) {
    const MotionTrack track = ReadTrackJson(MakeModel(), ParseJson(R"({"part": "b", "keyframes": [
        {"time": 300, "position": [3, 0]}, {"time": 100, "position": [1, 0]},
        {"time": 200, "position": [2, 0]}, {"time": 100, "position": [4, 0]}, {}]})"));
    EXPECT_EQ(Times(track), (std::vector<float>{0, 100, 100, 200, 300}));
    // Equal times keep their file order.
    EXPECT_EQ(track.keyframes[1].x, 1.0f);
    EXPECT_EQ(track.keyframes[2].x, 4.0f);
    EXPECT_EQ(track.keyframes[3].x, 2.0f);
}

TEST(MotionLoader, NonFiniteTimesSortSafelyWithNaNLast) {
    // "-nan" and "1e999" read as numbers: NaN and infinity.
    const MotionTrack track = ReadTrackJson(MakeModel(), ParseJson(R"({"keyframes": [
        {"time": -nan, "position": [1, 0]}, {"time": 1e999, "position": [2, 0]},
        {"time": 5, "position": [3, 0]}, {"time": -1e999, "position": [4, 0]},
        {"time": -nan, "position": [5, 0]}, {"time": 0, "position": [6, 0]},
        {"time": -0.0, "position": [7, 0]}]})"));
    ASSERT_EQ(track.keyframes.size(), 7u);
    std::vector<float> xs;
    for (const MotionKeyframe& k : track.keyframes) {
        xs.push_back(k.x);
    }
    // -0 and 0 are equal times and keep their order; NaNs go last, in order.
    EXPECT_EQ(xs, (std::vector<float>{4, 6, 7, 3, 2, 1, 5}));
    EXPECT_EQ(track.keyframes[0].time, -INFINITY);
    EXPECT_EQ(track.keyframes[4].time, INFINITY);
    EXPECT_TRUE(std::isnan(track.keyframes[5].time));
    EXPECT_TRUE(std::isnan(track.keyframes[6].time));
}

TEST(MotionLoader, InlineMotionsInAModelFile) {
    AnimeModel model;
    ASSERT_TRUE(ReadModelJson(model, ParseJson(R"({
        "parts": [{"name": "p"}],
        "motions": {
            "wave": {"name": "other", "tracks": [{"part": "p"}]},
            "": {"name": "fromName", "duration": 5},
            "skip": 3,
            "later": {"duration": 1},
            "later": {"duration": 2}}})"),
                              ""));
    ASSERT_NE(model.findMotion("wave"), nullptr);
    EXPECT_EQ(model.findMotion("wave")->name, "wave");
    EXPECT_EQ(model.findMotion("wave")->tracks[0].partIndex, 0);
    EXPECT_EQ(model.findMotion("other"), nullptr);
    // An empty key falls back to the motion's own "name".
    ASSERT_NE(model.findMotion("fromName"), nullptr);
    EXPECT_EQ(model.findMotion("fromName")->duration, 5.0f);
    EXPECT_EQ(model.findMotion("skip"), nullptr);
    EXPECT_EQ(model.findMotion("later")->duration, 2.0f);
    EXPECT_EQ(model.motions.size(), 3u);
}

}  // namespace
}  // namespace kivanime
