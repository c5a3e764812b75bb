// Cross-fades, the motion queue, overlay fades and the events motions
// announce, seen by the host: scripted runs that check the event list and the
// draw records, twins that must match bit for bit, and the event list's own
// contract.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

// "tick" lists its events out of order, with an element that is not an
// object, one before 0 and one after its end. "next" and "ramp" move the
// body by +1 per ms. "a" leaves the body at rest, "b" and its copy "b2" move
// it by (100, 0), scale it by 3, turn it by 1 and swap it to t1 (handle
// 101), "hide" hides it; "ovc" moves the arm by
// (0, 100).
const char* const kMotions[] = {
    R"({"name": "tick", "events": [{"time": 1000, "name": "c"}, {"time": 500, "name": "b"},
        {"time": 500, "name": "b2", "int": -7.9, "float": 0.5, "string": "s"}, 3, {"name": "a"},
        {"time": 1200, "name": "never"}, {"time": -1, "name": "neg"}]})",
    R"({"name": "loop", "loop": true, "events": [{"name": "z"}, {"time": 250, "name": "q"},
        {"time": 1000, "name": "e"}]})",
    R"({"name": "zero", "duration": 0, "loop": true, "events": [{"time": 100, "name": "p"}]})",
    R"({"name": "ov", "duration": 500, "events": [{"time": 400, "name": "o"}, {"name": "o0"}]})",
    R"({"name": "next", "duration": 300, "events": [{"name": "n0"}, {"time": 100, "name": "n1"}],
        "tracks": [{"part": "body", "keyframes": [{"time": 0}, {"time": 300, "position": [300, 0]}]}]})",
    R"({"name": "a", "duration": 0, "loop": true})",
    R"({"name": "flash", "duration": 0, "events": [{"name": "f"}]})",
    R"({"name": "b", "tracks": [{"part": "body", "keyframes": [{"position": [100, 0], "scale": 3,
        "rotation": 1, "textureSwap": "t1"}]}]})",
    R"({"name": "b2", "fadeIn": 200, "tracks": [{"part": "body", "keyframes": [
        {"position": [100, 0], "scale": 3, "rotation": 1, "textureSwap": "t1"}]}]})",
    R"({"name": "hide", "tracks": [{"part": "body", "keyframes": [{"visible": 0}]}]})",
    R"({"name": "ramp", "tracks": [{"part": "body",
        "keyframes": [{"time": 0}, {"time": 1000, "position": [1000, 0]}]}]})",
    R"({"name": "ovc", "loop": true, "fadeIn": 100, "fadeOut": 400,
        "tracks": [{"part": "arm", "keyframes": [{"position": [0, 100]}]}]})",
};

class MotionControl : public ApiTest {
protected:
    void SetUp() override {
        ApiTest::SetUp();
        loadModel("m", kBodyArmModel);
        for (const char* json : kMotions) {
            ASSERT_EQ(
                Anime_LoadMotionFromMemory("m", json, static_cast<int32_t>(std::strlen(json))), 1);
        }
    }
};

class MotionControlScript : public MotionControl,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(MotionControlScript, Run) {
    run(std::string("new m;") + GetParam());
}

// When events fire, with their lateness; each row starts on a new instance.
const char* const kTimings[] = {
    // Not looping: (u0, u1], time 0 in the first forward update, the end
    // after the events at the end; a clock landing on the end.
    "play tick 1; u 0; ev -; u 0.25; ev m:tick/a@0~0.25; u 99.75; ev -; u 400;"
    "ev m:tick/b@500~0 m:tick/b2@500~0;"
    "u 499; ev -; u 1; ev m:tick/c@1000~0 m:tick/end@1000~0; finished 1; u 100; ev -",
    // Past the end in one update, at speed 2: lateness in real time.
    "play tick 2; u 750;"
    "ev m:tick/a@0~750 m:tick/b@500~500 m:tick/b2@500~500 m:tick/c@1000~250 m:tick/end@1000~250",
    // Clocks that do not move forward fire nothing; a clock pushed back
    // before its first step still fires the event at 0 once.
    "play tick 0; u 100; ev -; play tick -1; u 100; ev -; play tick 1; u -5; ev -; u 10;"
    "ev m:tick/a@0~5; u nan; ev -",
    // Looping: the wrap, then an update that covers the loop from 250 to 350
    // again (q once, at its last passage), then several laps landing before
    // and on q; at speed 2, lateness in real time on both sides of the wrap.
    "play loop 1; u 250; ev m:loop/z@0~250 m:loop/q@250~0; u 750;"
    "ev m:loop/e@1000~0 m:loop/lap1@1000~0 m:loop/z@0~0; u 250; ev m:loop/q@250~0; u 1100;"
    "ev m:loop/z@0~350 m:loop/q@250~100 m:loop/e@1000~350 m:loop/lap1@1000~350; u 2750;"
    "ev m:loop/z@0~100 m:loop/q@250~850 m:loop/e@1000~100 m:loop/lap3@1000~100; u 2150;"
    "ev m:loop/z@0~250 m:loop/q@250~0 m:loop/e@1000~250 m:loop/lap2@1000~250; play loop 2;"
    "u 100; ev m:loop/z@0~100; u 425;"
    "ev m:loop/q@250~400 m:loop/e@1000~25 m:loop/lap1@1000~25 m:loop/z@0~25",
    // At speed 2, two laps in one update that land before where it started:
    // the whole loop once, lateness in real time.
    "play loop 2; u 250; ev m:loop/z@0~250 m:loop/q@250~125; u 950;"
    "ev m:loop/z@0~200 m:loop/q@250~75 m:loop/e@1000~200 m:loop/lap2@1000~200",
    // A looping motion of duration 0 never wraps; one that does not loop
    // ends in any update, and says so even when its clock stands still.
    "play zero 1; u 50; ev -; u 100; ev m:zero/p@100~50; u 1000; ev -; play flash 1; u 0;"
    "ev m:flash/end@0~0; finished 1; play flash 1; u 5; ev m:flash/f@0~5 m:flash/end@0~5",
    // An overlay that ends, one of weight 0, one restarted.
    "play a 1; ov ov 1 1; u 300; ev o:ov/o0@0~300; u 300; ev o:ov/o@400~200 o:ov/end@500~100;"
    "ov ov 1 0; u 600; ev -; ov ov 1 1; u 100; ov ov 1 1; u 50; ev o:ov/o0@0~50",
    // A queued motion carries the overshoot, after the ending motion's end.
    "play tick 1; q next 1 0; u 900; ev m:tick/a@0~900 m:tick/b@500~400 m:tick/b2@500~400;"
    "u 200; ev m:tick/c@1000~100 m:tick/end@1000~100 m:next/n0@0~100 m:next/n1@100~0;"
    "playing 1; 1.x 110",
    // An overshoot below a millisecond is carried too, into the clock and
    // into the fade (which then ends at 100 ms, exactly).
    "play tick 1; q next 1 0; u 1000.5; ev m:tick/a@0~1000.5 m:tick/b@500~500.5 "
    "m:tick/b2@500~500.5 m:tick/c@1000~0.5 m:tick/end@1000~0.5 m:next/n0@0~0.5; 1.x 10.5;"
    "play tick 1; q next 1 100; u 1000.5; u 99.5; 1.x 110",
    // A looping one ends at its next lap; the new motion has its own speed.
    "play loop 2; q next 0.5 0; u 550;"
    "ev m:loop/z@0~550 m:loop/q@250~425 m:loop/e@1000~50 m:loop/lap1@1000~50 m:next/n0@0~50;"
    "1.x 35",
    // Queued with nothing playing or after a stop: at once. A later queue
    // replaces the first; landing exactly on the end carries nothing, so the
    // next motion's event at 0 waits for its first step; play drops the queue.
    "q next 1 0; playing 1; u 50; ev m:next/n0@0~50; play tick 1; stop; q next 1 0; playing 1;"
    "play tick 1; q next 1 0; q loop 1 0; u 1000;"
    "ev m:tick/a@0~1000 m:tick/b@500~500 m:tick/b2@500~500 m:tick/c@1000~0 m:tick/end@1000~0;"
    "u 100; ev m:loop/z@0~100; play tick 1; q next 1 0; play tick 1; u 1000; u 1; playing 0",
    // A cross-fade fires the incoming motion's events only, from time 0; the
    // motion replaced or stopped has no end.
    "play loop 1; u 100; xf tick 1 500; u 950; ev m:tick/a@0~950 m:tick/b@500~450 "
    "m:tick/b2@500~450;"
    "play tick 1; u 999; play a 1; u 10; ev -; play tick 1; u 999; stop; u 10; ev -",
    // A hidden instance stands still and fires nothing.
    "play tick 1; vis 0; u 2000; ev -; vis 1; u 0; ev -; u 1; ev m:tick/a@0~1",
};
INSTANTIATE_TEST_SUITE_P(Timing, MotionControlScript, ::testing::ValuesIn(kTimings));

// What cross-fades and overlay fades draw.
const char* const kFades[] = {
    // A fade time of 0, or a negative or NaN one without a "fadeIn", is a
    // plain switch; a negative one takes "fadeIn" (200 ms for b2).
    "play ramp 1; u 500; xf b 1 0; u 100; 1.x 110; xf a 1 -1; u 1; 1.x 10; xf b 1 nan; u 1;"
    "1.x 110; xf a 1 0; u 1; xf b2 1 -3; u 100; 1.x 60; 1.sx 2",
    // The midpoint: offsets and factors halfway; visibility switches at 0.5.
    "play a 1; u 16; xf b 1 200; u 80; 1.x 50; 1.sx 1.8; 1.tex 100; u 20; 1.x 60; 1.sx 2;"
    "1.r 0.5; 1.tex 101; xf hide 1 200;"
    "u 80; draws 1,2; u 20; draws 2; u 100; draws 2; xf a 1 200; u 99; draws 2; u 1; draws 1,2",
    // Identical motions stay constant through a fade, factors included.
    "play b 1; u 16; vis 1; xf b2 1 1000; u 123; 1.x 110; 1.sx 3; 1.r 1; ov ovc 1 0.5; u 123;"
    "2.y 50; 1.x 110; stopall; stopov x; play b 1; xf b2 1 1000; u 0; u 77; 1.x 110; 1.sy 3; u 301",
    // The outgoing motion runs on under the fade at its own speed (ramp at
    // 700 and rest, halfway), or holds when it was stopped. From no motion,
    // the rest pose fades out.
    "play ramp 2; u 250; xf a 1 200; u 100; 1.x 360; play ramp 1; u 300; stop; xf a 1 200; u 100;"
    "1.x 160; destroy; new m; xf ramp 1 200; u 100; 1.x 60",
    // A fade interrupted by another is frozen where it was shown: 50 halfway
    // to 0. Play and stop end a fade at once.
    "play a 1; u 16; xf b 1 200; u 100; 1.x 60; xf a 1 100; u 50; 1.x 35; u 50; 1.x 10;"
    "xf b 1 200; u 50; play b 1; u 0; 1.x 110; xf ramp 1 1000; u 100; stop; u 100; 1.x 110",
    // Overlay fades: halfway, to 0 (then gone), at once, by fadeIn and
    // fadeOut, ended by PlayOverlay; refusals.
    "play a 1; ov ovc 1 1; u 16; 2.y 100; fo ovc 0 200; u 100; 2.y 50; u 100; 2.y 0; fo! ovc 1 0;"
    "ov ovc 1 1; fo ovc 0.5 0; u 16; 2.y 50; fo ovc 1 -1; u 50; 2.y 75; u 50; 2.y 100;"
    "fo ovc 0 nan; u 100; 2.y 75; ov ovc 1 0.3; u 100; 2.y= 30; fo ovc 0 -0; u 0; 2.y 0;"
    "fo! ovc 1 0; ov ovc 1 1; fo! ovc nan 100; fo! nope 1 100; xf! nope 1 100; q! nope 1 100;"
    "id 99; xf! a 1 0; q! a 1 0; fo! ovc 1 0",
};
INSTANTIATE_TEST_SUITE_P(Fades, MotionControlScript, ::testing::ValuesIn(kFades));

TEST_F(MotionControl, AFadeEndsExactlyWherePlayMotionWouldBe) {
    host().onLoad = [](const std::u16string& path) { return path.back() == u'g' ? 7 : 8; };
    // Instance 1 fades, its twin 2 switches: whether the two draw the same
    // records, bit for bit.
    auto same = [&] {
        host().draws.clear();
        Anime_RenderInstance(1);
        Anime_RenderInstance(2);
        const std::vector<AnimeDrawParams>& d = host().draws;
        return std::memcmp(d.data(), d.data() + d.size() / 2, d.size() / 2 * sizeof d[0]) == 0;
    };
    run("new m; play ramp 1; ov ovc 1 0.5; new m; play ramp 1; ov ovc 1 0.5; up 300");
    // A fade of 250 ms is over in the third update.
    const std::pair<float, bool> steps[] = {{100.0f, false}, {100.0f, false}, {50.0f, true},
                                            {37.5f, true},   {0.0f, true},    {900.0f, true}};
    run("id 1; xf next 1.5 250; id 2; play next 1.5");
    for (const auto& [dt, ended] : steps) {
        Anime_Update(dt);
        EXPECT_EQ(same(), ended) << dt;
    }
}

TEST_F(MotionControl, TheEventListKeepsItsTextsAndItsBounds) {
    run("new m; play tick 1; up 600");
    ASSERT_EQ(EventWords(), "m:tick/a@0~600 m:tick/b@500~100 m:tick/b2@500~100");
    AnimeEvent e{};
    ASSERT_EQ(Anime_GetEvent(2, &e), 1);
    const AnimeEvent expected{id_, 0, 0, -7, 0.5f, 500.0f, 100.0f, 0};
    EXPECT_EQ(std::memcmp(&e, &expected, sizeof e), 0);
    const char* texts[] = {Anime_GetEventText(2, 0), Anime_GetEventText(2, 1),
                           Anime_GetEventText(2, 2)};
    // The texts are the library's own: they outlive a reload and an unload.
    const std::string renamed = R"({"name": "tick", "events": [{"name": "other"}]})";
    Anime_LoadMotionFromMemory("m", renamed.data(), static_cast<int32_t>(renamed.size()));
    Anime_UnloadModel("m");
    EXPECT_EQ((std::vector<std::string>(texts, texts + 3)),
              (std::vector<std::string>{"b2", "tick", "s"}));
    EXPECT_STREQ(Anime_GetEventText(0, 2), "");
    EXPECT_EQ(Anime_GetEventCount(), 3);
    Anime_UnloadAll();
    EXPECT_EQ(Anime_GetEventCount(), 0);

    // At most 4096 entries an update, from every instance; the rest is
    // dropped.
    std::string many = R"({"name": "many", "events": [)";
    for (int i = 0; i < 3000; ++i) {
        many += std::string(i > 0 ? "," : "") + R"({"time": 1, "name": "e"})";
    }
    many += "]}";
    loadModel("n", kBodyArmModel);
    Anime_LoadMotionFromMemory("n", many.data(), static_cast<int32_t>(many.size()));
    run("new n; play many 1; new n; play many 1; up 1");
    EXPECT_EQ(Anime_GetEventCount(), 4096);
    EXPECT_STREQ(Anime_GetEventText(4095, 1), "many");
    Anime_Update(1.0f);
    EXPECT_EQ(Anime_GetEventCount(), 0);
}

}  // namespace
}  // namespace kivanime::test
