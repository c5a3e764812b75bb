// The settings table: every value form of the command line, which of the
// command line and the timeline wins, and the messages for bad values.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "settings.h"
#include "timeline.h"

namespace kivanime_player {
namespace {

// Parses arguments given as one string, separated by spaces.
bool Parse(const std::string& words, Settings& s, std::string& error) {
    std::vector<std::string> args;
    std::istringstream in(words);
    for (std::string word; in >> word;) {
        args.push_back(word);
    }
    CommandLine line;
    const bool ok = ParseCommandLine(args, line, error);
    Apply(line, s);
    return ok;
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
    EXPECT_FLOAT_EQ(s.background.a, 128 / 255.0f);
    EXPECT_EQ(s.sheetFrames, (std::vector<int>{0, 7, 9}));
    EXPECT_FLOAT_EQ(s.alpha + s.scale * 10 + s.thumbScale * 100 + s.crowd * 1000, 400096.0f);
    EXPECT_TRUE(s.help && s.enable3D);  // --turn switches the parallax on
    EXPECT_FALSE(s.frames || s.durationMs || s.quiet || s.expression);
    EXPECT_FLOAT_EQ(s.fps + s.focal, 1525.0f);
}

TEST(PlayerSettings, RejectsBadValuesNamingTheOption) {
    for (const char* args : {"--motion :2",
                             "--motion walk:fast",
                             "--overlay a:1:2:3",
                             "--size 640",
                             "--size 640x0",
                             "--size 9000x10",
                             "--fps 0",
                             "--fps 30fps",
                             "--frames -3",
                             "--frames 1e9",
                             "--alpha 1.5",
                             "--scale 0",
                             "--origin 1",
                             "--wind 1,2,3",
                             "--crowd 401",
                             "--background #12345",
                             "--turn 30:0",
                             "--sheet-frames 1,-2",
                             "--gif=",
                             "--focal inf",
                             "--thumb-scale 0",
                             "--quiet=yes",
                             "--frobnicate",
                             "--gif"}) {
        Settings s;
        std::string error;
        const std::string option =
            std::string(args).substr(0, std::string(args).find_first_of(" ="));
        EXPECT_FALSE(Parse(args, s, error)) << args;
        EXPECT_NE(error.find(option), std::string::npos) << error;
    }
}

TEST(PlayerSettings, CommandLineWinsOverTimelineAndDefaultsFollow) {
    Settings s;
    std::vector<TimelineEvent> events;
    std::string error;
    ASSERT_TRUE(ParseTimeline(R"({"model": "hero.json", "size": [320.9, 240], "fps": 30,
        "duration": 2000, "scale": 0.5, "crowd": 3.7, "setup3d": {"focal": 900}})",
                              "scenes/", s, events, error))
        << error;
    EXPECT_EQ(s.size.width + s.crowd, 323);
    ASSERT_TRUE(Parse("--fps 10 --crowd 2 --size 100x80", s, error)) << error;
    Resolve(s);
    EXPECT_EQ(s.model, "scenes/hero.json");
    EXPECT_EQ(*s.frames, 20);  // the timeline's 2 s at the command line's rate
    EXPECT_EQ(s.crowd, 2);
    EXPECT_FLOAT_EQ(s.scale + s.focal, 900.5f);
    EXPECT_TRUE(s.enable3D);
    EXPECT_FLOAT_EQ(s.origin->x + s.origin->y, 100.0f);  // centred, 30 px above the bottom

    const std::string help = HelpText();
    for (const char* text : {"--motion NAME[:SPEED]", "--overlay", "--timeline FILE", "--crowd N",
                             "--turn", "--contact-sheet", "--library", "--roll", "Exit codes"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace kivanime_player
