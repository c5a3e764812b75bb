// Motion playback seen by the host: scripted runs of "load, play, update,
// check" for main motions, overlays, texture swaps and the clocks.
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// The scripts use kBodyArmModel: body and arm are told apart in the draw
// records by their source x; t2 gets handle 102.

// Motions every script can use. "move" ramps body over 1000 ms from rest to
// position +(100, 200), rotation 1, scale (3, 5), alpha 0.5.
const char* const kMotions[] = {
    R"({"name": "move", "duration": 1000, "tracks": [{"part": "body",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [100, 200], "rotation": 1,
                       "scale": [3, 5], "alpha": 0.5}]}]})",
    R"({"name": "loop", "duration": 1000, "loop": true, "tracks": [
        {"part": "body", "keyframes": [{"time": 0}, {"time": 1000, "position": [100, 0]}]}]})",
    R"({"name": "idle", "loop": true})",
    R"({"name": "lift", "tracks": [{"part": "body",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 1000]}]}]})",
    R"({"name": "ov", "tracks": [{"part": "arm",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 1000]}]}]})",
    R"({"name": "ovloop", "duration": 1000, "loop": true, "tracks": [{"part": "arm",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 100]}]}]})",
    R"({"name": "push", "tracks": [{"part": "body", "keyframes": [
        {"position": [10, 0], "scale": 2, "alpha": 0.5, "textureSwap": "t2"}]}]})",
    R"({"name": "push2", "tracks": [{"part": "body", "keyframes": [
        {"position": [10, 0], "scale": 2}]}]})",
    R"({"name": "hide", "tracks": [{"part": "body", "keyframes": [{"visible": 0}]}]})",
    R"({"name": "hidden", "loop": true,
        "tracks": [{"part": "body", "keyframes": [{"visible": 0}]}]})",
    R"({"name": "show", "loop": true,
        "tracks": [{"part": "body", "keyframes": [{"visible": 1}]}]})",
    R"({"name": "two", "tracks": [
        {"part": "body", "keyframes": [{"position": [10, 1], "scale": 2, "rotation": 0.25,
                                        "textureSwap": "t1", "visible": 0}]},
        {"part": "body", "keyframes": [{"position": [5, 2], "scale": [3, 0.5], "rotation": 0.5,
                                        "textureSwap": "t2", "visible": 1}]}]})",
    R"({"name": "twoAll", "tracks": [{"part": "body", "keyframes": [{"position": [10, 1]}]},
        {"part": "arm", "keyframes": [{}]}, {"part": "body", "keyframes": [{"position": [5, 2]}]}]})",
    R"({"name": "nod", "duration": 500, "tracks": [{"part": "arm",
        "keyframes": [{"time": 0, "position": [0, 10]}, {"time": 500, "position": [0, 10]}]}]})",
    R"({"name": "arm7", "tracks": [{"part": "arm", "keyframes": [{"position": [0, 7]}]}]})",
    R"({"name": "both", "tracks": [{"part": "body", "keyframes": [{"position": [1, 2],
        "rotation": 0.5, "scale": [3, 5], "alpha": 0.5}]}, {"part": "arm", "keyframes": [{}]}]})",
    R"({"name": "swap", "duration": 100,
        "tracks": [{"part": "body", "keyframes": [{"textureSwap": "t2"}]}]})",
    R"({"name": "back", "tracks": [{"part": "body", "keyframes": [
        {"time": 0}, {"time": 100, "textureSwap": "t0"}]}]})",
    R"({"name": "lost", "tracks": [{"part": "body", "keyframes": [{"textureSwap": "missing"}]}]})",
    R"({"name": "zeroLoop", "duration": 0, "loop": true, "tracks": [{"part": "body",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [100, 0]}]}]})",
    R"({"name": "zero", "duration": 0, "tracks": [{"part": "body",
        "keyframes": [{"time": 0, "position": [3, 0]}, {"time": 1000, "position": [100, 0]}]}]})",
    R"({"name": "ghost", "loop": true, "tracks": [
        {"part": "ghost", "keyframes": [{"position": [50, 50], "visible": 0}]},
        {"part": "Body", "keyframes": [{"position": [50, 50], "visible": 0}]},
        {"keyframes": [{"position": [50, 50], "visible": 0}]}, 3, "body", null]})",
};
// Loaded only when a script says "load N".
const char* const kLater[] = {
    R"({"name": "", "tracks": [{"part": "body",
        "keyframes": [{"time": 0, "position": [1, 0]}, {"time": 100, "position": [2, 0]}]}]})",
    R"({"name": "move", "duration": 2000, "tracks": [{"part": "arm",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 100]}]}]})",
    R"({"name": "ovloop", "duration": 1000, "loop": true, "tracks": [
        {"part": "body", "keyframes": [{"time": 0}, {"time": 1000, "position": [100, 0]}]},
        {"part": "arm", "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 100]}]},
        {"part": "arm", "keyframes": [{"time": 0}, {"time": 1000, "position": [0, 300]}]}]})",
};

// Scripts in the fixture's steps (body is label 1, arm label 2), plus "load"
// and "move" below. "-" names "".
const char* const kScripts[] = {
    // Clocks advance before sampling.
    "playing 0; finished 0; u 16; rest; play move 1; playing 1; u 16; move 16; u 0; move 16;"
    "u 234; move 250; 1.x= 35; play move 1; u 0; move 0; play move 2; u 16; move 32; play idle 1;"
    "ov ov 0.5 1; u 16; 2.y= 8",
    // A non-looping motion finishes and holds.
    "play move 1; u 400; u 400; move 800; playing 1; finished 0; u 400; playing 0; finished 1;"
    "move 1000; u 400; move 1000; 1.x= 110; 1.a= 0.5; play move 1; playing 1; finished 0; u 500;"
    "move 500",
    // Loops wrap and speeds scale the clock.
    "play loop 1; u 2500; 1.x= 60; u 500; 1.x= 10; u 1234567; 1.x= 66.7; playing 1; finished 0;"
    "play loop 0; u 250; u 250; 1.x= 10; playing 1; play loop 2; u 250; 1.x= 60",
    // Huge looping clocks wrap at once.
    "play loop 1e30; u 16; 1.x in 10 110; u 16; 1.x in 10 110; play loop 1; u 3e38;"
    "1.x in 10 110; play loop 3e38; u 3e38; 1.x in 10 110; u 3e38; 1.x in 10 110; play loop 1;"
    "u 1e20; 1.x in 10 110; play loop 1; u inf; 1.x in 10 110; playing 1; play idle 1;"
    "ov ovloop 1e30 1; u 16; 2.y in 0 100; u 16; 2.y in 0 100",
    // Stopping holds the pose.
    "stop; playing 0; finished 1; u 16; rest; play move 1; u 300; stop; playing 0; finished 1;"
    "u 300; move 300; u 300; move 300",
    // Switching motions is immediate.
    "play move 1; u 500; move 500; play! nope 1; play! Move 1; u 100; move 600; play lift 1;"
    "u 100; 1.x= 10; 1.y= 120; 1.sx= 1; 1.r= 0; 1.a= 1",
    // Overlay weights, slots and stops.
    "play idle 1; ov push 1 0.4; ov hide 1 0.4; u 16; 1.x= 14; 1.sx= 1.4; 1.a= 0.8; 1.tex= 100;"
    "ov push 1 0.5; u 16; 1.x= 15; 1.sx= 1.5; 1.tex= 102; ov hide 1 0.5; u 16; draws 2;"
    "stopov hide; stopov push3; ov push 1 1; ov push2 1 1; u 16; 1.x= 30; 1.sx= 4; 1.sy= 4;"
    "1.a= 0.5; ov push2 1 0; ov push 1 -1; u 16; 1.x= 10; 1.sx= 1; ov push2 1 2; u 16; 1.x= 30;"
    "1.sx= 3; stopall; u 16; 1.x= 10",
    // A restarted overlay takes its new speed.
    "play idle 1; ov ov 1 1; u 100; 2.y= 100; ov ov 2 1; u 100; 2.y= 200",
    // Overlays come after the main motion.
    "play hidden 1; u 16; draws 2; ov show 1 0.4; u 16; draws 2; ov show 1 0.5; u 16; 1.x= 10",
    // A motion driving every part once.
    "play both 1; u 16; 1.x= 11; 1.y= 22; 1.r= 0.5; 1.sx= 3; 1.sy= 5; 1.a= 0.5; 2.y= 0",
    // Two tracks on one part apply in order.
    "play two 1; u 16; 1.x= 25; 1.y= 23; 1.r= 0.75; 1.sx= 6; 1.sy= 1; 1.tex= 102",
    // ... also when every part has a track.
    "play twoAll 1; u 16; 1.x= 25; 1.y= 23; 2.y= 0",
    // A non-looping overlay ends by itself.
    "play idle 1; ov nod 1 1; u 100; 2.y= 10; u 300; 2.y= 10; u 100; 2.y= 0; play idle 1; u 0;"
    "2.y= 0",
    // Overlays need a main motion but run their clocks.
    "ov ovloop 1 1; u 100; 2.y= 0; play idle 1; u 100; 2.y= 20",
    // The motion named "" stands in for no motion.
    "ov arm7 1 1; u 16; 2.y= 0; load 0; u 16; 1.x= 11; 2.y= 7; play - 1; u 50; 1.x= 11.5",
    // Texture swaps persist and switch at their keyframe.
    "play swap 1; u 16; 1.tex= 102; u 200; finished 1; 1.tex= 102; play idle 1; u 16; 1.tex= 102;"
    "play back 1; u 99; 1.tex= 102; u 1; 1.tex= 100; play lost 1; u 16; draws 2; 2.y= 0",
    // Odd speeds and durations.
    "play move -1; u 100; move 0; u 100; move 0; playing 1; finished 0; play zeroLoop 1; u 500;"
    "1.x= 60; u 600; 1.x= 110; playing 1; play zero 1; u 500; playing 0; finished 1; 1.x= 13",
    // Reloading a playing motion keeps its clock.
    "play move 1; u 250; 1.x= 35; load 1; u 250; rest; 2.y= 50; u 750; playing 1; 2.y= 100;"
    "ov ovloop 1 1; u 100; 2.y= 110; load 2; u 100; 1.x= 30; 2.y= 180",
    // Unknown parts and bad tracks are inert.
    "play ghost 1; ov ghost 1 1; u 16; rest; 2.y= 0",
};

class MotionPlayback : public ApiTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MotionPlayback, Script) {
    loadModel("m", kBodyArmModel);
    int files = 0;
    auto load = [&](const char* json) {
        const std::string path = writeFile("motions/" + std::to_string(files++) + ".json", json);
        ASSERT_EQ(Anime_LoadMotion("m", path.c_str()), 1) << json;
    };
    for (const char* json : kMotions) {
        load(json);
    }
    // Shorthands for this model: "load N" (a motion of kLater), and where
    // "move" puts the body (label 1) at T ms ("rest": at 0), to 4 ulps.
    run(std::string("new m;") + GetParam(), [&](const std::string& op, std::istringstream& in) {
        size_t index = 0;
        float t = 0.0f;
        if (op == "load" && in >> index) {
            load(kLater[index]);
            return true;
        }
        // An undrawn body fails the script as an unknown step would.
        const AnimeDrawParams* body = drawn(1.0f);
        if (((op != "move" || !(in >> t)) && op != "rest") || body == nullptr) {
            return false;
        }
        const float e = t / 1000.0f;
        const float expected[] = {10.0f + 100.0f * e, 20.0f + 200.0f * e, e,
                                  1.0f + 2.0f * e,    1.0f + 4.0f * e,    1.0f - 0.5f * e};
        const float actual[] = {body->x,      body->y,      body->rotation,
                                body->scaleX, body->scaleY, body->alpha};
        for (int i = 0; i < 6; ++i) {
            EXPECT_FLOAT_EQ(actual[i], expected[i]) << "field " << i;
        }
        EXPECT_TRUE(op != "rest" || body->texture == 100);
        return true;
    });
}

INSTANTIATE_TEST_SUITE_P(Scripts, MotionPlayback, ::testing::ValuesIn(kScripts));

}  // namespace
}  // namespace kivanime::test
