#include "runtime/physics.h"

#include <algorithm>
#include <cmath>

namespace kivanime {

void BuildPhysics(PhysicsState& state, const AnimeModel& model) {
    state.points.clear();
    state.points.reserve(model.physics.size());
    for (const PhysicsSpring& spring : model.physics) {
        PhysicsPoint point;
        point.target = spring.target;
        point.stiffness = spring.stiffness;
        point.damping = spring.damping;
        point.gravityX = spring.gravityX;
        point.gravityY = spring.gravityY;
        point.wind = spring.wind;
        state.points.push_back(std::move(point));
    }
}

void StepPhysics(PhysicsState& state, float dt, const PhysicsAnchor* anchors, size_t anchorCount) {
    if (dt <= 0.0f || state.points.empty()) {
        return;
    }
    const float h = std::min(dt, 33.0f) / 1000.0f;
    for (size_t k = 0; k < state.points.size(); ++k) {
        PhysicsPoint& pt = state.points[k];
        const float ax = k < anchorCount ? anchors[k].x : 0.0f;
        const float ay = k < anchorCount ? anchors[k].y : 0.0f;
        // The anchor's jump since the last step pushes the other way; it is
        // a displacement, deliberately not divided by the time step.
        const float jx = (ax - pt.lastAnchorX) * 8.0f;
        const float jy = (ay - pt.lastAnchorY) * 8.0f;
        pt.lastAnchorX = ax;
        pt.lastAnchorY = ay;

        const float sx =
            pt.offsetX * (-pt.stiffness * 60.0f) + pt.velocityX * (-pt.damping * 30.0f);
        const float gx = pt.gravityX * 100.0f + sx;
        const float wx = (pt.wind * 50.0f) * state.windX + gx;
        const float fx = wx - jx;
        const float sy =
            pt.offsetY * (-pt.stiffness * 60.0f) + pt.velocityY * (-pt.damping * 30.0f);
        const float gy = pt.gravityY * 100.0f + sy;
        const float wy = (pt.wind * 50.0f) * state.windY + gy;
        const float fy = wy - jy;

        pt.velocityX = fx * h + pt.velocityX;
        pt.velocityY = fy * h + pt.velocityY;
        pt.offsetX = pt.velocityX * h + pt.offsetX;
        pt.offsetY = pt.velocityY * h + pt.offsetY;

        const float len = std::sqrt(pt.offsetX * pt.offsetX + pt.offsetY * pt.offsetY);
        if (len > 50.0f && len > 0.0001f) {
            const float f = 50.0f / len;
            pt.offsetX *= f;
            pt.offsetY *= f;
            pt.velocityX *= 0.5f;
            pt.velocityY *= 0.5f;
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

PhysicsAnchor PhysicsOffset(const PhysicsState& state, int k) {
    if (k < 0 || static_cast<size_t>(k) >= state.points.size()) {
        return {};
    }
    return {state.points[static_cast<size_t>(k)].offsetX,
            state.points[static_cast<size_t>(k)].offsetY};
}

}  // namespace kivanime
