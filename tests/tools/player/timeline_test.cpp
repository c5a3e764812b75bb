// The timeline's events: what each command carries, the order they run in,
// and the strictness that turns a slip into a message.
#include <gtest/gtest.h>

#include <string>

#include "timeline.h"

namespace kivanime_player {
namespace {

TEST(PlayerTimeline, ReadsCommandsInTimeOrder) {
    const std::string text = R"({"events": [
        {"at": 500, "angles": [10, -5, 2], "over": 250},
        {"at": 0, "motion": "jump", "speed": 2, "then": "idle"},
        {"at": 500, "scale": 2},
        {"at": 0, "overlay": "wave", "weight": 0.5},
        {"at": 100, "scale": [1, -1]},
        {"at": 100, "visible": false}]})";
    Settings s;
    std::vector<TimelineEvent> e;
    std::string error;
    ASSERT_TRUE(ParseTimeline(text, "", s, e, error)) << error;
    EXPECT_TRUE(s.enable3D);  // an "angles" event asks for the parallax
    ASSERT_EQ(e.size(), 6u);
    // Sorted by time; equal times keep the file's order.
    const int expected[] = {1, 3, 4, 5, 0, 2};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(e[i].index, expected[i]) << i;
    }
    EXPECT_TRUE(e[0].kind == EventKind::Motion && e[0].name + e[0].then == "jumpidle");
    EXPECT_FLOAT_EQ(e[0].speed + e[1].weight, 2.5f);
    EXPECT_FLOAT_EQ(e[2].values[1], -1.0f);
    EXPECT_FALSE(e[3].flag);
    EXPECT_FLOAT_EQ(e[4].values[2] + e[4].overMs, 252.0f);
    EXPECT_FLOAT_EQ(e[5].values[1], 2.0f);  // one number scales both axes
}

TEST(PlayerTimeline, RejectsSlipsWithAMessageNamingTheEvent) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"[]", "not a JSON object"},
        {R"({"events": [{"motion": "idle"}]})", "event 0 needs \"at\""},
        {R"({"events": [{"at": 0}, {"at": 1, "jump": true}]})", "event 0 has no command"},
        {R"({"events": [{"at": 0, "motion": "idle", "expression": "smile"}]})",
         "event 0 has two commands"},
        {R"({"events": [{"at": 0, "motion": ""}]})", "\"motion\" must be a non-empty string"},
        {R"({"events": [{"at": 0, "motion": "a"}, {"at": 0, "angles": [1, 2]}]})",
         "event 1 \"angles\" must be an array of 3 numbers"},
        {R"({"events": [{"at": 0, "overlay": "a", "weight": "full"}]})",
         "\"weight\" must be a number"},
        {R"({"events": [{"at": 0, "visible": 1}]})", "\"visible\" must be true or false"},
        {R"({"events": [{"at": 0, "scale": [1, 2, 3]}]})", "\"scale\" must be an array of 2"},
        {R"({"size": [0, 10]})", "\"size\" must be [width, height] in pixels"},
        {R"({"fps": 0})", "\"fps\" must be between 1 and 1000"},
        {R"({"duration": 0})", "\"duration\" must be more than 0"},
        {R"({"crowd": 401})", "\"crowd\" must be a number from 1 to 400"},
        {R"({"setup3d": {"pivot": 3}})", "in \"setup3d\": \"pivot\" must be an array of 2"},
        {R"({"setup3d": 3})", "\"setup3d\" must be an object"},
        {R"({"background": "blue"})", "\"background\" must be a colour"},
    };
    for (const auto& c : cases) {
        Settings s;
        std::vector<TimelineEvent> e;
        std::string error;
        EXPECT_FALSE(ParseTimeline(c.text, "", s, e, error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
    }
}

}  // namespace
}  // namespace kivanime_player
