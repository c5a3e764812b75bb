// The command line: value forms, defaults left unset for the timeline, and
// the messages for bad values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace kivanime_player {
namespace {

bool Parse(std::vector<std::string> args, Options& options, std::string& error) {
    args.insert(args.begin(), "kivanime-player");
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(PlayerOptions, ReadsEveryValueForm) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"hero.json",
                       "--motion",
                       "walk:1.5",
                       "--overlay",
                       "wave",
                       "--overlay=blink:0.4:2",
                       "--expression",
                       "smile",
                       "--fps=30",
                       "--size",
                       "640x480",
                       "--origin",
                       "-10.5,20",
                       "--turn",
                       "30:3000",
                       "--wind",
                       "4,-1",
                       "--background",
                       "#ff000080",
                       "--sheet-frames",
                       "0,7,9",
                       "--crowd",
                       "4"},
                      o, error))
        << error;
    EXPECT_EQ(o.model, "hero.json");
    ASSERT_TRUE(o.motion.has_value());
    EXPECT_EQ(o.motion->name, "walk");
    EXPECT_FLOAT_EQ(o.motion->speed, 1.5f);
    ASSERT_EQ(o.overlays.size(), 2u);
    EXPECT_EQ(o.overlays[0].name, "wave");
    EXPECT_FLOAT_EQ(o.overlays[0].weight, 1.0f);
    EXPECT_FLOAT_EQ(o.overlays[0].speed, 1.0f);
    EXPECT_EQ(o.overlays[1].name, "blink");
    EXPECT_FLOAT_EQ(o.overlays[1].weight, 0.4f);
    EXPECT_FLOAT_EQ(o.overlays[1].speed, 2.0f);
    EXPECT_EQ(o.expression, "smile");
    EXPECT_FLOAT_EQ(*o.fps, 30.0f);
    EXPECT_EQ(*o.width, 640);
    EXPECT_EQ(*o.height, 480);
    EXPECT_FLOAT_EQ(o.origin->x, -10.5f);
    EXPECT_FLOAT_EQ(o.origin->y, 20.0f);
    EXPECT_FLOAT_EQ(*o.turn, 30.0f);
    EXPECT_FLOAT_EQ(o.turnPeriodMs, 3000.0f);
    EXPECT_FLOAT_EQ(o.wind->y, -1.0f);
    EXPECT_NEAR(o.background->r, 1.0f, 1e-6f);
    EXPECT_NEAR(o.background->a, 128.0f / 255.0f, 1e-6f);
    EXPECT_EQ(o.sheetFrames, (std::vector<int>{0, 7, 9}));
    EXPECT_EQ(*o.crowd, 4);
    // What the command line does not say stays unset for the timeline.
    EXPECT_FALSE(o.frames.has_value());
    EXPECT_FALSE(o.scale.has_value());
    EXPECT_FALSE(o.yaw.has_value());
}

TEST(PlayerOptions, RejectsBadValuesNamingTheOption) {
    const std::vector<std::vector<std::string>> bad = {
        {"--motion", ":2"},  {"--motion", "walk:fast"},  {"--overlay", "a:1:2:3"},
        {"--size", "640"},   {"--size", "640x0"},        {"--size", "axb"},
        {"--fps", "0"},      {"--fps", "30fps"},         {"--frames", "-3"},
        {"--alpha", "1.5"},  {"--scale", "0"},           {"--origin", "1"},
        {"--wind", "1,2,3"}, {"--crowd", "0"},           {"--background", "#12345"},
        {"--turn", "30:0"},  {"--sheet-frames", "1,-2"}, {"--frames", "1e9"},
    };
    for (const std::vector<std::string>& args : bad) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << args[0] << " " << args[1];
        EXPECT_NE(error.find(args[0]), std::string::npos) << error;
    }
    Options o;
    std::string error;
    EXPECT_FALSE(Parse({"--quiet=yes"}, o, error));
    EXPECT_NE(error.find("takes no value"), std::string::npos);
}

}  // namespace
}  // namespace kivanime_player
