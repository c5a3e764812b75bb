#include "runtime/physics.h"

#include <gtest/gtest.h>

namespace kivanime {
namespace {

// A state with one point per spring, as an instance would build it.
PhysicsState Build(std::initializer_list<PhysicsSpring> springs) {
    AnimeModel model;
    model.physics.assign(springs.begin(), springs.end());
    PhysicsState state;
    BuildPhysics(state, model);
    return state;
}

// A spring with no forces of its own: only what a test sets acts on it.
PhysicsSpring Inert() {
    PhysicsSpring s;
    s.stiffness = 0.0f;
    s.damping = 0.0f;
    s.gravityY = 0.0f;
    return s;
}

TEST(Physics, FirstStepAndSettlePoint) {
    PhysicsState state = Build({PhysicsSpring{}});  // 0.3, 0.7, gravity (0, 0.5)
    ASSERT_EQ(state.points.size(), 1u);
    const PhysicsAnchor origin;
    StepPhysics(state, 16.0f, &origin, 1);
    const PhysicsPoint& p = state.points[0];
    // Force y = 0.5 x 100 = 50; h = 0.016 s.
    const float h = 16.0f / 1000.0f;
    const float v = 50.0f * h;
    EXPECT_EQ(p.velocityY, v);
    EXPECT_EQ(p.offsetY, v * h);
    EXPECT_NEAR(p.velocityY, 0.8f, 1e-6f);
    EXPECT_NEAR(p.offsetY, 0.0128f, 1e-7f);
    EXPECT_EQ(p.velocityX, 0.0f);
    EXPECT_EQ(p.offsetX, 0.0f);

    // Left alone it settles where the spring balances gravity: 50 / 18.
    for (int i = 0; i < 2000; ++i) {
        StepPhysics(state, 16.0f, &origin, 1);
    }
    EXPECT_NEAR(p.offsetY, 100.0f * 0.5f / (60.0f * 0.3f), 1e-4f);
    EXPECT_NEAR(p.velocityY, 0.0f, 1e-4f);
    EXPECT_EQ(p.offsetX, 0.0f);
}

TEST(Physics, TimeStepIsCappedAndNonPositiveStepsDoNothing) {
    PhysicsState state = Build({PhysicsSpring{}});
    const PhysicsAnchor anchor{5.0f, 5.0f};
    StepPhysics(state, 0.0f, &anchor, 1);
    StepPhysics(state, -10.0f, &anchor, 1);
    EXPECT_EQ(state.points[0].velocityY, 0.0f);
    EXPECT_EQ(state.points[0].lastAnchorX, 0.0f);  // not even the anchor is taken

    StepPhysics(state, 100.0f, nullptr, 0);  // simulated as 33 ms
    const float h = 33.0f / 1000.0f;
    EXPECT_EQ(state.points[0].velocityY, 50.0f * h);
    EXPECT_EQ(state.points[0].offsetY, (50.0f * h) * h);
}

TEST(Physics, WindAnchorsAndMissingAnchors) {
    PhysicsSpring windy = Inert();
    windy.wind = 0.5f;
    PhysicsState state = Build({windy, Inert(), Inert()});
    state.windX = 2.0f;
    const float h = 16.0f / 1000.0f;
    // Point 1 sees its anchor jump from the origin to (100, -10) and is
    // pushed the other way by 8 x the jump; point 2 has no anchor entry.
    const PhysicsAnchor anchors[2] = {{0.0f, 0.0f}, {100.0f, -10.0f}};
    StepPhysics(state, 16.0f, anchors, 2);
    EXPECT_EQ(state.points[0].velocityX, 50.0f * h);  // (0.5 x 50) x 2
    EXPECT_EQ(state.points[0].velocityY, 0.0f);
    EXPECT_EQ(state.points[1].velocityX, -800.0f * h);
    EXPECT_EQ(state.points[1].velocityY, 80.0f * h);
    EXPECT_EQ(state.points[1].lastAnchorX, 100.0f);
    EXPECT_EQ(state.points[2].velocityX, 0.0f);
    EXPECT_EQ(state.points[2].velocityY, 0.0f);

    // An anchor that stays put pushes no more.
    const float vx = state.points[1].velocityX;
    StepPhysics(state, 16.0f, anchors, 2);
    EXPECT_EQ(state.points[1].velocityX, vx);
}

TEST(Physics, LengthLimit) {
    // h = 1/32 s exactly, so a velocity of 64 moves the offset by 2.
    const float dt = 31.25f;
    PhysicsState state = Build({Inert(), Inert()});
    PhysicsPoint& over = state.points[0];
    over.offsetX = 58.0f;
    over.offsetY = 82.0f;
    over.velocityX = 64.0f;
    over.velocityY = -64.0f;
    PhysicsPoint& exact = state.points[1];
    exact.offsetX = 28.0f;
    exact.offsetY = 42.0f;
    exact.velocityX = 64.0f;
    exact.velocityY = -64.0f;
    StepPhysics(state, dt, nullptr, 0);
    // (60, 80) has length 100: scaled to 50, velocity halved.
    EXPECT_EQ(over.offsetX, 30.0f);
    EXPECT_EQ(over.offsetY, 40.0f);
    EXPECT_EQ(over.velocityX, 32.0f);
    EXPECT_EQ(over.velocityY, -32.0f);
    // (30, 40) has length exactly 50: left alone.
    EXPECT_EQ(exact.offsetX, 30.0f);
    EXPECT_EQ(exact.offsetY, 40.0f);
    EXPECT_EQ(exact.velocityX, 64.0f);
    EXPECT_EQ(exact.velocityY, -64.0f);
}

TEST(Physics, BuildResetAndOffsets) {
    PhysicsSpring s;
    s.target = "hair";
    s.stiffness = 0.4f;
    s.damping = 0.6f;
    s.gravityX = 0.1f;
    s.gravityY = 0.2f;
    s.wind = 0.3f;
    PhysicsState state = Build({s});
    state.windX = 3.0f;
    state.windY = -1.0f;
    const PhysicsAnchor anchor{10.0f, 20.0f};
    StepPhysics(state, 16.0f, &anchor, 1);
    ASSERT_NE(PhysicsOffset(state, 0).x, 0.0f);

    ResetPhysics(state);
    const PhysicsPoint& p = state.points[0];
    EXPECT_EQ(p.offsetX, 0.0f);
    EXPECT_EQ(p.offsetY, 0.0f);
    EXPECT_EQ(p.velocityX, 0.0f);
    EXPECT_EQ(p.velocityY, 0.0f);
    EXPECT_EQ(p.lastAnchorX, 0.0f);
    EXPECT_EQ(p.lastAnchorY, 0.0f);
    EXPECT_EQ(p.target, "hair");
    EXPECT_EQ(p.stiffness, 0.4f);
    EXPECT_EQ(p.damping, 0.6f);
    EXPECT_EQ(p.gravityX, 0.1f);
    EXPECT_EQ(p.gravityY, 0.2f);
    EXPECT_EQ(p.wind, 0.3f);
    EXPECT_EQ(state.windX, 3.0f);
    EXPECT_EQ(state.windY, -1.0f);

    EXPECT_EQ(PhysicsOffset(state, -1).x, 0.0f);
    EXPECT_EQ(PhysicsOffset(state, 1).y, 0.0f);

    // A rebuild starts over from the model and leaves the wind alone.
    BuildPhysics(state, AnimeModel{});
    EXPECT_TRUE(state.points.empty());
    EXPECT_EQ(state.windX, 3.0f);
    StepPhysics(state, 16.0f, nullptr, 0);  // no points: nothing to do
}

}  // namespace
}  // namespace kivanime
