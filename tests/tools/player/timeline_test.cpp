// The timeline reader: what each command carries, the order events run in,
// and the strictness that turns a slip into a message.
#include <gtest/gtest.h>

#include <string>

#include "timeline.h"

namespace kivanime_player {
namespace {

TEST(PlayerTimeline, ReadsSettingsAndCommandsInTimeOrder) {
    const std::string text = R"({
      "model": "hero.json", "size": [320, 240], "fps": 30, "duration": 2000,
      "origin": [160, 230], "scale": 0.5, "background": "transparent", "crowd": 3,
      "events": [
        {"at": 500, "angles": [10, -5, 2], "over": 250},
        {"at": 0, "motion": "jump", "speed": 2, "then": "idle"},
        {"at": 500, "scale": 2},
        {"at": 0, "overlay": "wave", "weight": 0.5},
        {"at": 100, "scale": [1, -1]},
        {"at": 100, "visible": false}
      ]})";
    Timeline t;
    std::string error;
    ASSERT_TRUE(ParseTimeline(text, "scenes/", t, error)) << error;
    EXPECT_EQ(t.model, "scenes/hero.json");
    EXPECT_EQ(*t.width, 320);
    EXPECT_EQ(*t.height, 240);
    EXPECT_FLOAT_EQ(*t.fps, 30.0f);
    EXPECT_FLOAT_EQ(*t.durationMs, 2000.0f);
    EXPECT_FLOAT_EQ(t.background->a, 0.0f);
    EXPECT_EQ(*t.crowd, 3);
    EXPECT_TRUE(t.enable3D);  // an "angles" event asks for the parallax

    ASSERT_EQ(t.events.size(), 6u);
    // Sorted by time; equal times keep the file's order.
    const int expected[] = {1, 3, 4, 5, 0, 2};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(t.events[i].index, expected[i]) << i;
    }
    const TimelineEvent& jump = t.events[0];
    EXPECT_EQ(jump.kind, EventKind::Motion);
    EXPECT_EQ(jump.name, "jump");
    EXPECT_EQ(jump.then, "idle");
    EXPECT_FLOAT_EQ(jump.speed, 2.0f);
    EXPECT_FLOAT_EQ(t.events[1].weight, 0.5f);
    EXPECT_FLOAT_EQ(t.events[2].values[1], -1.0f);
    EXPECT_FALSE(t.events[3].flag);
    EXPECT_FLOAT_EQ(t.events[4].values[2], 2.0f);
    EXPECT_FLOAT_EQ(t.events[4].overMs, 250.0f);
    EXPECT_FLOAT_EQ(t.events[5].values[0], 2.0f);
    EXPECT_FLOAT_EQ(t.events[5].values[1], 2.0f);  // one number scales both axes

    Timeline flat;
    ASSERT_TRUE(ParseTimeline(R"({"events": [{"at": 0, "motion": "idle"}]})", "", flat, error));
    EXPECT_FALSE(flat.enable3D);
    EXPECT_TRUE(flat.model.empty());
}

TEST(PlayerTimeline, RejectsSlipsWithAMessageNamingTheEvent) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"[]", "not a JSON object"},
        {R"({"events": {}})", "\"events\" must be an array"},
        {R"({"events": [{"motion": "idle"}]})", "event 0 needs \"at\""},
        {R"({"events": [{"at": -1, "motion": "idle"}]})", "event 0 needs \"at\""},
        {R"({"events": [{"at": 0}, {"at": 1, "jump": true}]})", "event 0 has no command"},
        {R"({"events": [{"at": 0, "motion": "idle", "expression": "smile"}]})",
         "event 0 has two commands"},
        {R"({"events": [{"at": 0, "motion": ""}]})", "\"motion\" must be a non-empty string"},
        {R"({"events": [{"at": 0, "motion": "a"}, {"at": 0, "angles": [1, 2]}]})",
         "event 1 \"angles\" must be an array of 3 numbers"},
        {R"({"events": [{"at": 0, "overlay": "a", "weight": "full"}]})",
         "\"weight\" must be a number"},
        {R"({"events": [{"at": 0, "visible": 1}]})", "\"visible\" must be true or false"},
        {R"({"size": [0, 10]})", "\"size\" must be"},
        {R"({"fps": 0})", "\"fps\" must be between"},
        {R"({"setup3d": {"pivot": 3}})", "in \"setup3d\""},
        {R"({"background": "blue"})", "\"background\" must be a colour"},
    };
    for (const auto& c : cases) {
        Timeline t;
        std::string error;
        EXPECT_FALSE(ParseTimeline(c.text, "", t, error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " -> " << error;
    }
}

}  // namespace
}  // namespace kivanime_player
