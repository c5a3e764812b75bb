#include "runtime/physics.h"

#include <algorithm>
#include <cmath>

namespace kivanime {

namespace {

// One step never covers more than this many milliseconds: a long frame (a
// hitch, a paused game) would otherwise fling the springs.
constexpr float kMaxStepMs = 33.0f;
constexpr float kMsPerSecond = 1000.0f;
// The file's stiffness and damping are on a 0..1-ish scale; these turn them
// into the spring constant and damping coefficient per unit mass.
constexpr float kStiffnessToSpring = 60.0f;
constexpr float kDampingToCoefficient = 30.0f;
// Acceleration, in model units per s², of a gravity of 1.
constexpr float kGravityAcceleration = 100.0f;
// Push of a wind factor of 1 in a wind of 1.
constexpr float kWindPush = 50.0f;
// How hard the anchor's movement since the last step pushes the other way.
constexpr float kAnchorJumpPush = 8.0f;
// A displacement never gets longer than this (model units); the velocity is
// kept at this fraction when it is cut back.
constexpr float kMaxOffset = 50.0f;
constexpr float kVelocityKeptAtLimit = 0.5f;
constexpr float kMinScalableLength = 0.0001f;

}  // namespace

void BuildPhysics(PhysicsState& state, const AnimeModel& model) {
    state.points.clear();
    state.points.reserve(model.physics.size());
    for (const PhysicsSpring& spring : model.physics) {
        PhysicsPoint point;
        point.stiffness = spring.stiffness;
        point.damping = spring.damping;
        point.gravityX = spring.gravityX;
        point.gravityY = spring.gravityY;
        point.wind = spring.wind;
        state.points.push_back(point);
    }
}

void StepPhysics(PhysicsState& state, float dt, const PhysicsAnchor* anchors, size_t anchorCount,
                 float windX, float windY) {
    if (dt <= 0.0f || state.points.empty()) {
        return;
    }
    const float h = std::min(dt, kMaxStepMs) / kMsPerSecond;
    for (size_t k = 0; k < state.points.size(); ++k) {
        PhysicsPoint& pt = state.points[k];
        const float ax = k < anchorCount ? anchors[k].x : 0.0f;
        const float ay = k < anchorCount ? anchors[k].y : 0.0f;
        // The anchor's jump since the last step pushes the other way; it is
        // a displacement, deliberately not divided by the time step.
        const float jx = (ax - pt.lastAnchorX) * kAnchorJumpPush;
        const float jy = (ay - pt.lastAnchorY) * kAnchorJumpPush;
        pt.lastAnchorX = ax;
        pt.lastAnchorY = ay;

        const float sx = pt.offsetX * (-pt.stiffness * kStiffnessToSpring) +
                         pt.velocityX * (-pt.damping * kDampingToCoefficient);
        const float gx = pt.gravityX * kGravityAcceleration + sx;
        const float wx = (pt.wind * kWindPush) * windX + gx;
        const float fx = wx - jx;
        const float sy = pt.offsetY * (-pt.stiffness * kStiffnessToSpring) +
                         pt.velocityY * (-pt.damping * kDampingToCoefficient);
        const float gy = pt.gravityY * kGravityAcceleration + sy;
        const float wy = (pt.wind * kWindPush) * windY + gy;
        const float fy = wy - jy;

        pt.velocityX = fx * h + pt.velocityX;
        pt.velocityY = fy * h + pt.velocityY;
        pt.offsetX = pt.velocityX * h + pt.offsetX;
        pt.offsetY = pt.velocityY * h + pt.offsetY;

        const float len = std::sqrt(pt.offsetX * pt.offsetX + pt.offsetY * pt.offsetY);
        if (len > kMaxOffset && len > kMinScalableLength) {
            const float f = kMaxOffset / len;
            pt.offsetX *= f;
            pt.offsetY *= f;
            pt.velocityX *= kVelocityKeptAtLimit;
            pt.velocityY *= kVelocityKeptAtLimit;
        }
    }
}

void ResetPhysics(PhysicsState& state) {
    for (PhysicsPoint& pt : state.points) {
        pt.offsetX = pt.offsetY = 0.0f;
        pt.velocityX = pt.velocityY = 0.0f;
        pt.lastAnchorX = pt.lastAnchorY = 0.0f;
    }
}

}  // namespace kivanime
