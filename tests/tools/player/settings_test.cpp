// The settings table and the timeline: every value form of the command line,
// which of the command line and the timeline wins, what each event carries
// and the order events run in, and the messages for bad values.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "settings.h"

namespace kivanime_player {
namespace {

// Parses arguments given as one string, separated by spaces.
bool Parse(const std::string& words, Settings& s, std::string& error) {
    std::istringstream in(words);
    return ParseCommandLine({std::istream_iterator<std::string>(in), {}}, s, error);
}

TEST(PlayerSettings, ReadsEveryValueFormAndLeavesTheRestUnset) {
    Settings s;
    std::string error;
    ASSERT_TRUE(
        Parse("m.json --motion walk:1.5 --overlay a --overlay=b:0.4:2 --size 640x480 "
              "--origin=-10.5,20 --turn 30:3000 --wind 4,-1 --background #ff000080 "
              "--sheet-frames 0,7,9 --alpha 1 --scale -0.5 --thumb-scale 1 --crowd 400 -h",
              s, error))
        << error;
    EXPECT_EQ(s.model + s.motion->name + s.overlays[0].name + s.overlays[1].name, "m.jsonwalkab");
    // Each number read, in a sum that no other reading gives.
    EXPECT_FLOAT_EQ(s.motion->speed + s.overlays[0].weight * 10 + s.overlays[0].speed * 100 +
                        s.overlays[1].weight * 1000 + s.overlays[1].speed * 10000,
                    20511.5f);
    EXPECT_EQ(s.size.width * 1000 + s.size.height, 640480);
    EXPECT_FLOAT_EQ(s.origin->x + s.origin->y * 10 + s.wind->y * 1000, -810.5f);
    EXPECT_FLOAT_EQ(s.turn.degrees + s.turn.periodMs, 3030.0f);
    EXPECT_FLOAT_EQ(s.background.r + s.background.g + s.background.a, 1 + 128 / 255.0f);
    EXPECT_EQ(s.sheetFrames, (std::vector<int>{0, 7, 9}));
    EXPECT_FLOAT_EQ(s.alpha + s.scale * 10 + s.thumbScale * 100 + s.crowd * 1000, 400096.0f);
    // --turn switches the parallax on; what was not given stays unset.
    EXPECT_TRUE(s.help && s.enable3D && !(s.frames || s.durationMs || s.quiet || s.expression));
    EXPECT_FLOAT_EQ(s.fps + s.focal, 1525.0f);
    EXPECT_LT(HelpText().find("  --motion NAME[:SPEED]       main motion"),
              HelpText().find("\nExit codes\n  0 success"));  // written from the table
    EXPECT_NE(HelpText().find("\n  motion, stopMotion,"), std::string::npos);  // and the timeline's
    EXPECT_NE(HelpText().find(" fadeOverlay, partOffset, clearPartOffsets,\n"), std::string::npos);
}

TEST(PlayerSettings, RejectsBadValuesNamingTheOption) {
    std::istringstream bad(
        "--motion :2;--motion walk:fast;--overlay a:1:2:3;--size 640;--size 640x0;--size 9000x10;"
        "--fps 0;--fps 30fps;--frames -3;--frames 1e9;--alpha 1.5;--scale 0;--origin 1;"
        "--wind 1,2,3;--crowd 401;--threads 0;--threads 65;--background #12345;--background "
        "#1234zz;--turn 30:0;"
        "--sheet-frames 1,-2;--gif=;--focal inf;--thumb-scale 0;--quiet=yes;--frobnicate;--gif");
    for (std::string args; std::getline(bad, args, ';');) {
        Settings s;
        std::string error;
        const std::string option = args.substr(0, args.find_first_of(" ="));
        EXPECT_FALSE(Parse(args, s, error)) << args;
        EXPECT_NE(error.find(option), std::string::npos) << error;
    }
}

TEST(PlayerTimeline, ReadsSettingsAndEventsInTimeOrderUnderTheCommandLine) {
    Settings s;
    std::vector<TimelineEvent> e;
    std::string error;
    ASSERT_TRUE(ParseTimeline(R"({"model": "hero.json", "size": [320.9, 240], "fps": 30,
        "duration": 2000, "scale": 0.5, "crowd": 3.7, "events": [
        {"at": 500, "angles": [10, -5, 2], "over": 250},
        {"at": 0, "motion": "jump", "speed": 2, "then": "idle"},
        {"at": 500, "scale": 2},
        {"at": 0, "overlay": "wave", "weight": 0.5},
        {"at": 100, "scale": [1, -1]},
        {"at": 100, "visible": false},
        {"at": 600, "crossFade": "walk", "speed": 2, "fade": 300},
        {"at": 600, "queue": "idle"}, {"at": 700, "fadeOverlay": "wave", "weight": 0}]})",
                              "scenes/", s, e, error))
        << error;
    EXPECT_TRUE(s.enable3D && s.size.width + s.crowd == 323);  // "angles" asks for the parallax
    ASSERT_TRUE(Parse("--fps 10 --crowd 2 --size 100x80 --sheet-count 3", s, error)) << error;
    Resolve(s);
    EXPECT_EQ(s.model, "scenes/hero.json");
    EXPECT_EQ(*s.frames, 20);  // the timeline's 2 s at the command line's rate
    EXPECT_FLOAT_EQ(s.scale + static_cast<float>(s.crowd), 2.5f);
    EXPECT_FLOAT_EQ(s.origin->x + s.origin->y, 100.0f);      // centred, 30 px above the bottom
    EXPECT_EQ(s.sheetFrames, (std::vector<int>{0, 9, 19}));  // spread over the frames

    // Sorted by time; equal times keep the file's order.
    std::string order;
    for (const TimelineEvent& event : e) {
        order += std::to_string(event.index);
    }
    ASSERT_EQ(order, "134502678");
    EXPECT_TRUE(e[0].kind == EventKind::Motion && e[0].name + e[0].then == "jumpidle");
    EXPECT_TRUE(e[1].kind == EventKind::Overlay && e[3].kind == EventKind::Visible);
    EXPECT_FLOAT_EQ(e[0].speed + e[1].weight, 2.5f);
    EXPECT_FALSE(e[3].flag);
    EXPECT_FLOAT_EQ(e[4].values[2] + e[4].overMs, 252.0f);
    EXPECT_FLOAT_EQ(e[2].values[1] + e[5].values[1] * 10, 19.0f);  // one number scales both axes
    // The fade time is the motion's own (-1) unless given.
    EXPECT_TRUE(e[6].kind == EventKind::CrossFade && e[7].kind == EventKind::Queue &&
                e[8].kind == EventKind::FadeOverlay && e[7].name == "idle");
    EXPECT_FLOAT_EQ(e[6].speed + e[6].fadeMs + e[7].fadeMs * 10 + e[8].weight, 292.0f);

    // Sound files lie beside the timeline, as its model does.
    e.clear();
    ASSERT_TRUE(ParseTimeline(R"({"events": [{"at": 0, "audio": "a.wav"},
        {"at": 0, "audio": "/b.wav"}, {"at": 0, "audio": ""}]})",
                              "scenes/", s, e, error));
    EXPECT_EQ(e[0].name + "|" + e[1].name + "|" + e[2].name, "scenes/a.wav|/b.wav|");
}

TEST(PlayerTimeline, RejectsSlipsWithAMessageNamingTheEvent) {
    for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
             {R"({"events": [{"motion": "idle"}]})", "event 0 needs \"at\""},
             {R"({"events": [{"at": 0}, {"at": 1, "jump": true}]})", "event 0 has no command"},
             {R"({"events": [{"at": 0, "motion": "a", "wind": [1, 0]}]})", "has two commands"},
             {R"({"events": [{"at": 0, "motion": ""}]})", "\"motion\" must be a non-empty"},
             {R"({"events": [{"at": 0, "motion": "a"}, {"at": 0, "angles": [1, 2]}]})",
              "event 1 \"angles\" must be an array of 3 numbers"},
             {R"({"events": [{"at": 0, "overlay": "a", "weight": "full"}]})", "\"weight\" must"},
             {R"({"events": [{"at": 0, "queue": "a", "fade": null}]})", "\"fade\" must be a"},
             {R"({"events": [{"at": 0, "visible": 1}]})", "\"visible\" must be true or false"},
             {R"({"events": [{"at": 0, "partOffset": [0, 0, 0, 1, 1, 1]}]})",
              "event 0 needs \"part\""},
             {R"({"events": [{"at": 0, "tint": [1, 1, 1], "part": 3}]})", "\"part\" must be"},
             {R"({"events": [{"at": 0, "skin": null}]})", "\"skin\" must be a string"},
             {R"({"events": [{"at": 0, "parameter": "a", "over": 9}]})",
              "event 0 needs \"value\", a number"},
             {R"({"events": [{"at": 0, "breath": "a", "amplitude": [1]}]})",
              "\"amplitude\" must be a number"},
             {R"({"events": [{"at": 0, "blink": ""}]})", "\"blink\" must be a non-empty"},
             {R"({"events": [{"at": 0, "audio": 3}]})", "\"audio\" must be a string"},
             {R"({"size": [0, 10]})", "\"size\" must be [width, height] in pixels"},
             {R"({"fps": 0})", "\"fps\" must be between 1 and 1000"},
             {R"({"setup3d": {"pivot": 3}})", "in \"setup3d\": \"pivot\" must be an array of 2"},
             {R"({"background": "blue"})", "\"background\" must be a colour"}}) {
        Settings s;
        std::vector<TimelineEvent> e;
        std::string error;
        EXPECT_FALSE(ParseTimeline(text, "", s, e, error)) << text;
        EXPECT_NE(error.find(message), std::string::npos) << text << " -> " << error;
    }
}

}  // namespace
}  // namespace kivanime_player
