#include "render/parallax.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kivanime {
namespace {

bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Parallax, AtRestNothingMoves) {
    Parallax3D s;
    s.enabled3D = true;
    DrawItem in;
    in.x = 37.5f;
    in.y = -12.25f;
    in.scaleX = 1.5f;
    in.scaleY = -2.0f;
    in.rotation = 0.75f;
    DrawItem out = in;
    ApplyParallax(s, PrepareParallax(s), 100.0f, out);
    EXPECT_TRUE(SameBits(out.x, in.x) && SameBits(out.y, in.y) && SameBits(out.scaleX, in.scaleX) &&
                SameBits(out.scaleY, in.scaleY) && SameBits(out.rotation, in.rotation));
    EXPECT_EQ(out.depth, 100.0f);
}

TEST(Parallax, TurnsCurvesAndProjects) {
    const float k90 = 1400.0f / 1500.0f;  // yaw 90 brings depth 100 from 100 to 0
    const float k30 = 1500.0f / 1550.0f;  // yaw 30 turns (100, 0) back to depth -50
    const float kp = 1400.0f / (1500.0f - 86.60254f);
    const float pushed = -13.397459f;  // 100 - sqrt(100^2 - 50^2)
    const struct {
        const char* what;
        float yaw, pitch, roll, curveX, curveY, perspective, depth, x, y;
        float outX, outY, scaleX, scaleY, outDepth;
    } cases[] = {
        {"roll 90", 0, 0, 90, 0, 0, 1, 0, 10, 0, 0, 10, 1, 1, 0},
        {"yaw 90, edge-on", 90, 0, 0, 0, 0, 1, 100, 0, 0, 100 * k90, 0, 0.05f * k90, k90, 0},
        {"yaw 30", 30, 0, 0, 0, 0, 1, 0, 100, 0, 86.60254f * k30, 0, 0.8660254f * k30, k30, -50},
        {"pitch 30", 0, 30, 0, 0, 0, 1, 100, 0, 0, 0, -50 * kp, kp, 0.8660254f * kp, 86.60254f},
        {"no perspective", 30, 0, 0, 0, 0, 0, 0, 100, 0, 86.60254f, 0, 0.8660254f, 1, -50},
        {"on the cylinder", 0, 0, 0, 100, 0, 1, 0, 50, 0, 50, 0, 0.8660254f, 1, pushed},
        {"past the radius", 0, 0, 0, 100, 0, 1, 0, 150, 0, 150, 0, 0.05f, 1, -100},
        {"past the radius, left", 0, 0, 0, 100, 0, 1, 0, -150, 0, -150, 0, 0.05f, 1, -100},
        {"vertical curve", 0, 0, 0, 0, 100, 1, 0, 0, 50, 0, 50, 1, 1, pushed},
        {"past the vertical radius", 0, 0, 0, 0, 100, 1, 0, 0, -100, 0, -100, 1, 1, -100},
        {"radii of 1 bend nothing", 0, 0, 0, 1, 1, 1, 3, 0.5f, 0.5f, 0.5f, 0.5f, 1, 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Parallax3D s;
        s.enabled3D = true;
        s.yaw = c.yaw;
        s.pitch = c.pitch;
        s.roll = c.roll;
        s.curveRadiusX = c.curveX;
        s.curveRadiusY = c.curveY;
        s.perspectiveStrength = c.perspective;
        DrawItem item;
        item.x = c.x;
        item.y = c.y;
        ApplyParallax(s, PrepareParallax(s), c.depth, item);
        EXPECT_NEAR(item.x, c.outX, 1e-3f);
        EXPECT_NEAR(item.y, c.outY, 1e-3f);
        EXPECT_NEAR(item.scaleX, c.scaleX, 1e-5f);
        EXPECT_NEAR(item.scaleY, c.scaleY, 1e-5f);
        EXPECT_NEAR(item.depth, c.outDepth, 1e-3f);
        EXPECT_EQ(item.rotation, c.roll * 0.017453292f);
    }
}

}  // namespace
}  // namespace kivanime
