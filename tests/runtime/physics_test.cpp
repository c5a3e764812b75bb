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

TEST(Physics, TimeStepIsCappedAndNonPositiveStepsDoNothing) {
    PhysicsState state = Build({PhysicsSpring{}});
    const PhysicsAnchor anchor{5.0f, 5.0f};
    StepPhysics(state, 0.0f, &anchor, 1, 0.0f, 0.0f);
    StepPhysics(state, -10.0f, &anchor, 1, 0.0f, 0.0f);
    EXPECT_EQ(state.points[0].velocityY, 0.0f);
    EXPECT_EQ(state.points[0].lastAnchorX, 0.0f);  // not even the anchor is taken

    StepPhysics(state, 100.0f, nullptr, 0, 0.0f, 0.0f);  // simulated as 33 ms
    const float h = 33.0f / 1000.0f;
    EXPECT_EQ(state.points[0].velocityY, 50.0f * h);
    EXPECT_EQ(state.points[0].offsetY, (50.0f * h) * h);
}

TEST(Physics, PointsWithoutAnAnchorEntryFeelNoJump) {
    PhysicsState state = Build({Inert(), Inert()});
    const PhysicsAnchor jumped{100.0f, -10.0f};
    StepPhysics(state, 16.0f, &jumped, 1, 0.0f, 0.0f);
    EXPECT_EQ(state.points[0].velocityX, -800.0f * 0.016f);
    EXPECT_EQ(state.points[1].velocityX, 0.0f);
    EXPECT_EQ(state.points[1].velocityY, 0.0f);
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
    StepPhysics(state, dt, nullptr, 0, 0.0f, 0.0f);
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

}  // namespace
}  // namespace kivanime
