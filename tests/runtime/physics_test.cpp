// The spring step's limits, which a host cannot reach exactly: anchors a
// point has no entry for, and the length limit at its boundary. (The capped
// time step and steps that do nothing show through the C interface.)
#include "runtime/physics.h"

#include <gtest/gtest.h>

namespace kivanime {
namespace {

// Two points, one per spring, with no stiffness, damping or gravity, so
// only what a test sets acts on them.
PhysicsState Inert() {
    PhysicsSpring spring;
    spring.stiffness = spring.damping = spring.gravityY = 0.0f;
    AnimeModel model;
    model.physics.assign(2, spring);
    PhysicsState state;
    BuildPhysics(state, model);
    return state;
}

TEST(Physics, StepLimits) {
    // Points without an anchor entry feel no jump.
    PhysicsState state = Inert();
    const PhysicsAnchor jumped{100.0f, -10.0f};
    StepPhysics(state, 16.0f, &jumped, 1, 0.0f, 0.0f);
    EXPECT_EQ(state.points[0].velocityX, -800.0f * 0.016f);
    EXPECT_EQ(state.points[1].velocityX, 0.0f);
    EXPECT_EQ(state.points[1].velocityY, 0.0f);

    // h = 1/32 s exactly, so a velocity of 64 moves the offset by 2: to
    // (60, 80), length 100, scaled to 50 with the velocity halved; and to
    // (30, 40), length exactly 50, left alone.
    state = Inert();
    state.points[0] = {.offsetX = 58.0f, .offsetY = 82.0f, .velocityX = 64.0f, .velocityY = -64.0f};
    state.points[1] = {.offsetX = 28.0f, .offsetY = 42.0f, .velocityX = 64.0f, .velocityY = -64.0f};
    StepPhysics(state, 31.25f, nullptr, 0, 0.0f, 0.0f);
    for (const PhysicsPoint& p : state.points) {
        EXPECT_EQ(p.offsetX, 30.0f);
        EXPECT_EQ(p.offsetY, 40.0f);
    }
    EXPECT_EQ(state.points[0].velocityX, 32.0f);
    EXPECT_EQ(state.points[0].velocityY, -32.0f);
    EXPECT_EQ(state.points[1].velocityX, 64.0f);
    EXPECT_EQ(state.points[1].velocityY, -64.0f);
}

}  // namespace
}  // namespace kivanime
