#include "runtime/parallax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace kivanime {
namespace {

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

DrawItem Item(float x, float y) {
    DrawItem item;
    item.x = x;
    item.y = y;
    return item;
}

DrawItem Apply(const Parallax3D& s, float depth, DrawItem item) {
    ApplyParallax(s, PrepareParallax(s), depth, item);
    return item;
}

Parallax3D Angles(float yaw, float pitch, float roll) {
    Parallax3D s;
    s.enabled3D = true;
    s.yaw = yaw;
    s.pitch = pitch;
    s.roll = roll;
    return s;
}

TEST(Parallax, AtRestNothingMoves) {
    const Parallax3D s = Angles(0.0f, 0.0f, 0.0f);
    DrawItem in = Item(37.5f, -12.25f);
    in.scaleX = 1.5f;
    in.scaleY = -2.0f;
    in.rotation = 0.75f;
    const DrawItem out = Apply(s, 100.0f, in);
    EXPECT_EQ(Bits(out.x), Bits(in.x));
    EXPECT_EQ(Bits(out.y), Bits(in.y));
    EXPECT_EQ(Bits(out.scaleX), Bits(in.scaleX));
    EXPECT_EQ(Bits(out.scaleY), Bits(in.scaleY));
    EXPECT_EQ(Bits(out.rotation), Bits(in.rotation));
    EXPECT_EQ(out.depth, 100.0f);
}

TEST(Parallax, TurnsByEachAngle) {
    // Roll 90 in the picture plane: (10, 0) goes to about (0, 10).
    DrawItem roll = Apply(Angles(0.0f, 0.0f, 90.0f), 0.0f, Item(10.0f, 0.0f));
    EXPECT_NEAR(roll.x, 0.0f, 1e-5f);
    EXPECT_NEAR(roll.y, 10.0f, 1e-5f);
    EXPECT_EQ(roll.rotation, 90.0f * 0.017453292f);
    EXPECT_EQ(roll.scaleX, 1.0f);
    EXPECT_EQ(roll.scaleY, 1.0f);
    EXPECT_EQ(roll.depth, 0.0f);

    // Yaw 90 at the pivot, depth 100: the part swings out to x 100 and
    // shrinks by 1400 / 1500; seen edge-on its width stops at 5 %.
    DrawItem yaw90 = Apply(Angles(90.0f, 0.0f, 0.0f), 100.0f, Item(0.0f, 0.0f));
    const float k90 = 1400.0f / 1500.0f;
    EXPECT_NEAR(yaw90.x, 100.0f * k90, 1e-3f);
    EXPECT_NEAR(yaw90.y, 0.0f, 1e-5f);
    EXPECT_NEAR(yaw90.scaleX, 0.05f * k90, 1e-6f);
    EXPECT_NEAR(yaw90.scaleY, k90, 1e-6f);
    EXPECT_NEAR(yaw90.depth, 0.0f, 1e-4f);

    // Yaw 30 at (100, 0): turned away, so farther and smaller.
    DrawItem yaw30 = Apply(Angles(30.0f, 0.0f, 0.0f), 0.0f, Item(100.0f, 0.0f));
    const float k30 = 1500.0f / 1550.0f;
    EXPECT_NEAR(yaw30.x, 86.60254f * k30, 1e-3f);
    EXPECT_NEAR(yaw30.x, 83.81f, 1e-2f);
    EXPECT_EQ(yaw30.y, 0.0f);
    EXPECT_NEAR(yaw30.scaleX, 0.8660254f * k30, 1e-5f);
    EXPECT_NEAR(yaw30.scaleY, k30, 1e-5f);
    EXPECT_NEAR(yaw30.depth, -50.0f, 1e-4f);

    // Pitch 30 at the pivot, depth 100.
    DrawItem pitch = Apply(Angles(0.0f, 30.0f, 0.0f), 100.0f, Item(0.0f, 0.0f));
    const float kp = 1400.0f / (1500.0f - 86.60254f);
    EXPECT_NEAR(pitch.x, 0.0f, 1e-5f);
    EXPECT_NEAR(pitch.y, -50.0f * kp, 1e-3f);
    EXPECT_NEAR(pitch.y, -49.53f, 1e-2f);
    EXPECT_NEAR(pitch.scaleX, kp, 1e-5f);
    EXPECT_NEAR(pitch.scaleY, 0.8660254f * kp, 1e-5f);
    EXPECT_NEAR(pitch.depth, 86.60254f, 1e-3f);

    // Without perspective only the rotation acts.
    Parallax3D flat = Angles(30.0f, 0.0f, 0.0f);
    flat.perspectiveStrength = 0.0f;
    DrawItem noPerspective = Apply(flat, 0.0f, Item(100.0f, 0.0f));
    EXPECT_NEAR(noPerspective.x, 86.60254f, 1e-4f);
    EXPECT_NEAR(noPerspective.scaleX, 0.8660254f, 1e-6f);
    EXPECT_EQ(noPerspective.scaleY, 1.0f);
    EXPECT_NEAR(noPerspective.depth, -50.0f, 1e-4f);
}

TEST(Parallax, Curvature) {
    Parallax3D s = Angles(0.0f, 0.0f, 0.0f);
    s.curveRadiusX = 100.0f;
    // On the cylinder at x 50: pushed back by 100 - sqrt(7500), narrowed by
    // the slope there, and (all angles 0) not moved.
    DrawItem on = Apply(s, 0.0f, Item(50.0f, 0.0f));
    EXPECT_EQ(on.x, 50.0f);
    EXPECT_EQ(on.y, 0.0f);
    EXPECT_NEAR(on.scaleX, 0.8660254f, 1e-6f);
    EXPECT_EQ(on.scaleY, 1.0f);
    EXPECT_NEAR(on.depth, -13.397459f, 1e-4f);

    // Past the radius: set back by the whole radius, seen edge-on.
    DrawItem past = Apply(s, 0.0f, Item(150.0f, 0.0f));
    EXPECT_EQ(past.x, 150.0f);
    EXPECT_EQ(past.scaleX, 0.05f);
    EXPECT_EQ(past.depth, -100.0f);
    DrawItem left = Apply(s, 0.0f, Item(-150.0f, 0.0f));
    EXPECT_EQ(left.scaleX, 0.05f);

    // Vertical curvature bends depth only.
    Parallax3D v = Angles(0.0f, 0.0f, 0.0f);
    v.curveRadiusY = 100.0f;
    DrawItem bent = Apply(v, 0.0f, Item(0.0f, 50.0f));
    EXPECT_EQ(bent.scaleX, 1.0f);
    EXPECT_EQ(bent.scaleY, 1.0f);
    EXPECT_NEAR(bent.depth, -13.397459f, 1e-4f);
    EXPECT_EQ(Apply(v, 0.0f, Item(0.0f, -100.0f)).depth, -100.0f);

    // A radius of 1 or less bends nothing.
    Parallax3D small = Angles(0.0f, 0.0f, 0.0f);
    small.curveRadiusX = 1.0f;
    small.curveRadiusY = 1.0f;
    DrawItem flat = Apply(small, 3.0f, Item(0.5f, 0.5f));
    EXPECT_EQ(flat.x, 0.5f);
    EXPECT_EQ(flat.scaleX, 1.0f);
    EXPECT_EQ(flat.depth, 3.0f);
}

}  // namespace
}  // namespace kivanime
