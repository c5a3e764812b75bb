// Parameters through the C interface: the file's repairs, the order of the
// sources that set a value (host, main motion and its cross-fade, overlays,
// expression, drivers, clamp) and the keyed bindings that turn values into
// part poses and mesh offsets.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// head (label 1) rests at x 100 and follows A in [-1, 1]: x 100 + 10 A,
// rotation 0.5 A (keys written out of order). body (2) follows A and B in
// [0, 10] over a grid: x 10 (A + 1), y 10 B, scale 1 + (B / 10) (A + 1) / 2.
// eye (3) closes with "eye": below 0.5 hidden, scaled and swapped (handle
// 101), the key at 1 leaves visibility alone. mouth (4) opens with "mouth"
// (y 10 mouth) and moves vertex 1 of cheek's mesh (5) by 5 mouth. The
// other bindings are inert and would move head by 999.
constexpr const char* kFace = R"({
  "textures": {"t": "t.png", "shut": "shut.png"},
  "parameters": [{"name": "A", "min": -1, "max": 1, "default": 0},
                 {"name": "B", "min": 0, "max": 10, "default": 5},
                 {"name": "eye", "default": 1}, {"name": "mouth"}],
  "parts": [
    {"name": "head", "texture": "t", "position": [100, 0], "srcRect": [1, 0, 0, 0]},
    {"name": "body", "texture": "t", "srcRect": [2, 0, 0, 0]},
    {"name": "eye", "texture": "t", "srcRect": [3, 0, 0, 0]},
    {"name": "mouth", "texture": "t", "srcRect": [4, 0, 0, 0]},
    {"name": "cheek", "texture": "t", "srcRect": [5, 0, 0, 0],
     "vertices": [[0, 0, 0, 0], [10, 0, 1, 0], [0, 10, 0, 1]], "triangles": [0, 1, 2]}],
  "bindings": [
    {"part": "head", "parameters": ["A"], "keys": [
      {"at": 1, "position": [10, 0], "rotation": 0.5},
      {"at": -1, "position": [-10, 0], "rotation": -0.5}]},
    {"part": "body", "parameters": ["A", "B"], "keys": [
      {"at": [1, 10], "position": [20, 100], "scale": 2}, {"at": [-1, 0]},
      {"at": [-1, 10], "position": [0, 100]}, {"at": [1, 0], "position": [20, 0]}]},
    {"part": "eye", "parameters": ["eye"], "keys": [
      {"at": 0, "visible": 0, "scale": [1, 0.5], "texture": "shut"}, {"at": 1}]},
    {"part": "mouth", "parameters": ["mouth"], "keys": [{"at": 0}, {"at": 1, "position": [0, 10]}]},
    {"part": "cheek", "parameters": ["mouth"], "keys": [{"at": 0}, {"at": 1, "deform": [5, 0], "deformStart": 1}]},
    {"part": "head", "parameters": ["A", "B"], "keys": [
      {"at": [-1, 0], "position": [999, 0]}, {"at": [1, 0]}, {"at": [-1, 10]}]},
    {"part": "nobody", "parameters": ["A"], "keys": [{"at": 0, "position": [999, 0]}]},
    {"part": "head", "parameters": ["Z"], "keys": [{"at": 0, "position": [999, 0]}]}],
  "motions": {
    "look": {"duration": 1000, "tracks": [{"parameter": "A", "part": "head",
      "keyframes": [{"time": 1000, "value": 1}, {"time": 0, "value": -1, "position": [50, 0]}]}]},
    "still": {"duration": 1000, "loop": true, "tracks": [{"part": "mouth", "keyframes": [{"time": 0}]}]},
    "up": {"duration": 1000, "loop": true, "tracks": [{"parameter": "A", "keyframes": [{"time": 0, "value": 1}]},
                                                      {"parameter": "nope", "keyframes": [{"time": 0, "value": 1}]}]},
    "far": {"duration": 1000, "loop": true, "tracks": [{"parameter": "B", "keyframes": [{"time": 0, "value": 50}]}]}},
  "expressions": {"wink": {"blendMs": 100, "params": [{"parameter": "eye", "value": 0},
                                                     {"parameter": "nope", "value": 1}]}}
})";

class Parameters : public ApiTest {
protected:
    // The script steps of parameters (the last word of set, blink, breath and
    // lip is the expected result):
    //   set P V R, get P V (exactly) or get~ P V (to 1e-5), preset,
    //   blink P I C R, breath P T A R, lip P G R, feed N S (N samples of
    //   +S and -S by turns), mesh P I X (vertex I of part P at x X).
    bool step(const std::string& op, std::istringstream& in) {
        std::string p;
        std::string text;
        float a = 0.0f;
        float b = 0.0f;
        int32_t r = 0;
        if (op == "set") {
            in >> p >> text >> r;
            a = std::strtof(text.c_str(), nullptr);  // also inf and nan
            EXPECT_EQ(Anime_SetParameter(id_, p.c_str(), a), r);
        } else if (op == "get" || op == "get~") {
            in >> p >> a;
            float v = -99.0f;
            EXPECT_EQ(Anime_GetParameter(id_, p.c_str(), &v), 1);
            EXPECT_NEAR(v, a, op == "get" ? 0.0f : 1e-5f);
        } else if (op == "preset") {
            EXPECT_EQ(Anime_ResetParameters(id_), 1);
        } else if (op == "blink" || op == "breath") {
            in >> p >> a >> b >> r;
            EXPECT_EQ(op == "blink" ? Anime_SetAutoBlink(id_, p.c_str(), a, b)
                                    : Anime_SetBreath(id_, p.c_str(), a, b),
                      r);
        } else if (op == "lip") {
            in >> p >> a >> r;
            EXPECT_EQ(Anime_SetLipSync(id_, p.c_str(), a), r);
        } else if (op == "feed") {
            in >> r >> a;
            std::vector<float> samples(static_cast<size_t>(r));
            for (size_t i = 0; i < samples.size(); ++i) {
                samples[i] = i % 2 == 0 ? a : -a;
            }
            EXPECT_EQ(Anime_FeedAudio(id_, samples.data(), r, 48000), 1);
        } else if (op == "mesh") {
            in >> p >> r >> a;
            AnimeMeshVertex v[8] = {};
            EXPECT_EQ(Anime_GetPartMesh(id_, p.c_str(), v, 8), 3);
            EXPECT_EQ(v[r].x, a);
        } else {
            return false;
        }
        return true;
    }

    void script(const std::string& steps) {
        run(steps, [this](const std::string& op, std::istringstream& in) { return step(op, in); });
    }
};

TEST_F(Parameters, SourcesApplyInOrderAndTheValueIsClamped) {
    loadModel("f", kFace);
    const char* rows[] = {
        // Defaults before any update; the host's value shows at the next
        // update and persists; set values are clamped, NaN refused.
        "get A 0; get B 5; get eye 1; get mouth 0; u 16; 1.x 100; 2.x 10; 2.y 50; 2.sx 1.25",
        "u 16; set A 0.5 1; get A 0; r; 1.x 100; u 16; 1.x 105; 1.r 0.25; u 16; 1.x 105",
        "set A 7 1; get A 1; set B -inf 1; get B 0; set A nan 0; get A 1; u 16; 1.x 110;"
        "2.x 20; 2.y 0; 2.sx 1",
        "set A 1 1; u 16; preset; get A 1; u 16; get A 0; 1.x 100",
        // The main motion's track replaces the host's value (the track's
        // "part" and its position are ignored), eased like any channel.
        "set A 1 1; play look 1; u 500; get A 0; 1.x 100; u 250; get A 0.5; 1.x 105",
        // A cross-fade blends from the host's value where the old motion has
        // no track, and toward it where the new one has none (the old one
        // runs on: -0.5 at the switch, 0.5 at 750 ms).
        "set A 1 1; play still 1; u 0; xf look 1 1000; u 500; get A 0.5; 1.x 105",
        "set A 1 1; play look 1; u 250; xf still 1 1000; u 500; get A 0.75",
        // An interrupted fade goes on from what it showed.
        "set A 1 1; play look 1; u 250; xf still 1 1000; u 500; xf still 1 1000; u 500;"
        "get A 0.875",
        // Overlays pull toward their tracks by their weights; unknown names
        // are inert; the clamp comes last.
        "ov up 1 0.5; u 16; get A 0.5; 1.x 105; ov far 1 1; u 16; get B 10",
        "set A -1 1; play look 1; u 500; ov up 1 0.25; u 0; get A 0.25",
        // The expression pulls by its weight: visibility from the nearest key,
        // the lower on a tie.
        "expr wink; u 50; get eye 0.5; draws 1,2,4,5; u 10; draws 1,2,4,5; u 40; get eye 0;"
        "clear; u 40; get~ eye 0.4; draws 1,2,4,5; u 20; get~ eye 0.6; 3.sy~ 0.8; 3.tex 101",
        // Drivers come after every source: the lip sync replaces the value.
        "lip mouth 2 1; feed 100 0.25; u 16; get mouth 0.5; 4.y 5; mesh cheek 1 12.5;"
        "u 25; get mouth 0.25; u 25; get mouth 0; mesh cheek 1 10; u 25; get mouth 0",
        "set mouth 1 1; lip mouth 8 1; feed 10 0.5; u 16; get mouth 1; u 16; get~ mouth 0.84;"
        "lip mouth 0 1; u 16; get mouth 1",
        "breath A 1000 0.5 1; u 250; get~ A 0.5; u -100; get~ A 0.5; u 250; get A 0; u 250;"
        "get~ A -0.5; set A 1 1; u 250; get A 1; breath A 0 0 1; u 250; get A 1",
        // The breather adds before the lip sync replaces; with nothing fed the
        // lip sync stays at min.
        "breath mouth 1000 0.5 1; lip mouth 1 1; u 250; get mouth 0; feed 4 0.25; u 250;"
        "get mouth 0.25; lip mouth 0 1; u 750; get~ mouth 0.5",
    };
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        host().nextHandle = 100;  // t 100, shut 101
        script(std::string("new f;") + row + "; destroy");
    }
}

// The file's parameters as the library lists them: in file order, a
// repeated name replacing the earlier entry where it stood, entries without
// a name skipped, bounds and defaults repaired.
TEST_F(Parameters, TheFileListIsRepaired) {
    loadModel("p", R"({"parameters": [
        {"name": "a", "min": 2, "max": -2, "default": 5}, {"name": ""}, {"min": 3}, 7,
        {"name": "b", "default": 0.5}, {"name": "a", "min": 1, "max": 3}, {"name": "c", "max": 1e39},
        {"name": "d", "min": "x", "max": null, "default": -4}]})");
    const uint32_t id = Anime_CreateInstance("p");
    ASSERT_EQ(Anime_GetParameterCount(id), 4);
    const struct {
        const char* name;
        float min, max, def;
    } want[] = {{"a", 1, 3, 1}, {"b", 0, 1, 0.5f}, {"c", 0, INFINITY, 0}, {"d", 0, 1, 0}};
    for (int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(want[i].name);
        EXPECT_STREQ(Anime_GetParameterName(id, i), want[i].name);
        float range[3] = {-9, -9, -9};
        ASSERT_EQ(Anime_GetParameterRange(id, want[i].name, &range[0], &range[1], &range[2]), 1);
        EXPECT_EQ(range[0], want[i].min);
        EXPECT_EQ(range[1], want[i].max);
        EXPECT_EQ(range[2], want[i].def);
    }
    EXPECT_EQ(Anime_GetParameterName(id, 4), nullptr);
}

// Blinks start one jittered interval (0.75 to 1.25 of it) after the previous
// start, the first one after the call; each runs from max to min in half the
// closing time and back. The instance id seeds the jitter: the same id gives
// the same blinks in every run, another id others.
TEST_F(Parameters, BlinksAreJitteredBySeedAndRunStraightDownAndUp) {
    loadModel("f", kFace);
    // The blink starts of one instance over 8 s, found from each 1 ms frame
    // as the value leaves the max (from how far down it is).
    const auto starts = [](uint32_t id, float intervalMs) {
        EXPECT_EQ(Anime_SetAutoBlink(id, "eye", intervalMs, 100.0f), 1);
        std::vector<float> found;
        float last = 1.0f;
        for (int ms = 1; ms <= 8000; ++ms) {
            Anime_Update(1.0f);
            float v = 0.0f;
            Anime_GetParameter(id, "eye", &v);
            if (v < 1.0f && last == 1.0f) {
                found.push_back(static_cast<float>(ms) - (1.0f - v) * 50.0f);
            }
            // Straight down to 0 and back: never below, never stuck.
            EXPECT_GE(v, 0.0f);
            last = v;
        }
        return found;
    };
    const uint32_t one = Anime_CreateInstance("f");
    const std::vector<float> first = starts(one, 1000.0f);
    ASSERT_GE(first.size(), 6u);
    float previous = 0.0f;
    for (const float start : first) {
        EXPECT_GE(start - previous, 750.0f - 1e-2f);
        EXPECT_LT(start - previous, 1250.0f + 1e-2f);
        previous = start;
    }
    // The pinned first blinks of instances 1 and 2: 1000 x the first jitter
    // of each id's own generator, whatever ran before.
    EXPECT_NEAR(first[0], 1044.1968f, 1e-2f);
    EXPECT_NEAR(starts(Anime_CreateInstance("f"), 1000.0f)[0], 1102.0669f, 1e-2f);
    // Shut at the middle of a blink, open at its end; a new call restarts
    // the blinker, a zero interval turns it off.
    script("id " + std::to_string(one) +
           "; set eye 1 1; blink eye 1000 100 1; u 1044.1968; get eye 1; u 50; get~ eye 0;"
           "u 25; get~ eye 0.5; u 25; get~ eye 1; blink eye 1000 100 1; u 1044.1968; get eye 1;"
           "u 25; get~ eye 0.5; blink eye 0 0 1; u 10; get eye 1; u 2000; get eye 1");
}

}  // namespace
}  // namespace kivanime::test
