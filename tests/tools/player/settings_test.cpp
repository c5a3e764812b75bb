// The settings table: every value form of the command line, the timeline's
// own settings, which one wins, and the messages for bad values.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "settings.h"
#include "timeline.h"

namespace kivanime_player {
namespace {

bool Parse(std::vector<std::string> args, Settings& s, std::string& error) {
    args.insert(args.begin(), "kivanime-player");
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    CommandLine line;
    const bool ok = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), line, error);
    Apply(line, s);
    return ok;
}

TEST(PlayerSettings, ReadsEveryValueForm) {
    using Get = std::function<float(const Settings&)>;
    const struct {
        std::vector<std::string> args;
        Get get;
        float expected;
    } cases[] = {
        {{"--motion", "walk:1.5"}, [](const Settings& s) { return s.motion->speed; }, 1.5f},
        {{"--motion=walk"}, [](const Settings& s) { return s.motion->speed; }, 1.0f},
        {{"--overlay", "a", "--overlay=b:0.4:2"},
         [](const Settings& s) { return s.overlays[1].weight * 10 + s.overlays[1].speed; },
         6.0f},
        {{"--overlay", "wave"}, [](const Settings& s) { return s.overlays[0].weight; }, 1.0f},
        {{"--size", "640x480"},
         [](const Settings& s) { return s.size.width - s.size.height; },
         160},
        {{"--origin", "-10.5,20"}, [](const Settings& s) { return s.origin->x; }, -10.5f},
        {{"--turn", "30:3000"}, [](const Settings& s) { return s.turn.periodMs; }, 3000.0f},
        {{"--turn", "30"}, [](const Settings& s) { return s.turn.degrees + s.enable3D; }, 31.0f},
        {{"--background", "#ff000080"},
         [](const Settings& s) { return s.background.a; },
         128 / 255.0f},
        {{"--background=none"}, [](const Settings& s) { return s.background.a; }, 0.0f},
        {{"--sheet-frames", "0,7,9"}, [](const Settings& s) { return s.sheetFrames[2]; }, 9},
        {{"--strength3d", "1,0.5"}, [](const Settings& s) { return s.strength3D.y; }, 0.5f},
        {{"--pivot", "0,-360"}, [](const Settings& s) { return s.pivot.y + s.enable3D; }, -359},
        {{"--wind", "4,-1"}, [](const Settings& s) { return s.wind->y; }, -1.0f},
        {{"--alpha", "1"}, [](const Settings& s) { return s.alpha; }, 1.0f},
        {{"--scale", "-0.5"}, [](const Settings& s) { return s.scale; }, -0.5f},
        {{"--thumb-scale", "1"}, [](const Settings& s) { return s.thumbScale; }, 1.0f},
        {{"-h", "--quiet"}, [](const Settings& s) { return s.help + 2 * s.quiet; }, 3},
        {{"m.json"}, [](const Settings& s) { return s.model == "m.json"; }, 1},
        // What the command line does not say stays unset or at its default.
        {{"--yaw", "5"},
         [](const Settings& s) { return !s.frames && !s.origin && s.fps == 25; },
         1},
    };
    for (const auto& c : cases) {
        Settings s;
        std::string error;
        ASSERT_TRUE(Parse(c.args, s, error)) << c.args[0] << ": " << error;
        EXPECT_FLOAT_EQ(c.get(s), c.expected) << c.args[0];
    }
}

TEST(PlayerSettings, RejectsBadValuesNamingTheOption) {
    const std::vector<std::vector<std::string>> bad = {
        {"--motion", ":2"},
        {"--motion", "walk:fast"},
        {"--overlay", "a:1:2:3"},
        {"--size", "640"},
        {"--size", "640x0"},
        {"--size", "9000x10"},
        {"--fps", "0"},
        {"--fps", "30fps"},
        {"--frames", "-3"},
        {"--alpha", "1.5"},
        {"--scale", "0"},
        {"--origin", "1"},
        {"--wind", "1,2,3"},
        {"--crowd", "401"},
        {"--background", "#12345"},
        {"--turn", "30:0"},
        {"--sheet-frames", "1,-2"},
        {"--frames", "1e9"},
        {"--thumb-scale", "0"},
        {"--gif", ""},
        {"--focal", "inf"},
        {"--quiet=yes"},
        {"--frobnicate"},
        {"--gif"},
    };
    for (const std::vector<std::string>& args : bad) {
        Settings s;
        std::string error;
        EXPECT_FALSE(Parse(args, s, error)) << args[0];
        EXPECT_NE(error.find(args[0].substr(0, args[0].find('='))), std::string::npos) << error;
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
    ASSERT_TRUE(Parse({"--fps", "10", "--crowd", "2", "--size", "100x80"}, s, error)) << error;
    Resolve(s);
    EXPECT_EQ(s.model, "scenes/hero.json");
    EXPECT_EQ(*s.frames, 20);  // the timeline's 2 s at the command line's rate
    EXPECT_EQ(s.crowd, 2);
    EXPECT_FLOAT_EQ(s.scale, 0.5f);
    EXPECT_FLOAT_EQ(s.focal, 900.0f);
    EXPECT_TRUE(s.enable3D);
    EXPECT_FLOAT_EQ(s.origin->x, 50.0f);  // centred, 30 px above the bottom
    EXPECT_FLOAT_EQ(s.origin->y, 50.0f);

    Settings t;
    ASSERT_TRUE(ParseTimeline(R"({"size": [320.9, 240], "crowd": 3.7})", "", t, events, error));
    EXPECT_EQ(t.size.width, 320);
    EXPECT_EQ(t.crowd, 3);
    EXPECT_FALSE(t.enable3D);

    const std::string help = HelpText();
    for (const char* text : {"--motion NAME[:SPEED]", "--overlay", "--timeline FILE", "--crowd N",
                             "--turn", "--contact-sheet", "--library", "--roll", "Exit codes"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace kivanime_player
