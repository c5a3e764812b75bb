// Spring physics: each spring holds a 2D displacement of its target part away
// from where the hierarchy puts it, pulled back by a damped spring and pushed
// by gravity, wind and the movement of its anchor.
#pragma once

#include <vector>

#include "model/anime_model.h"

namespace kivanime {

struct PhysicsPoint {
    float offsetX = 0.0f;
    float offsetY = 0.0f;
    float velocityX = 0.0f;  // model units per second
    float velocityY = 0.0f;
    float stiffness = 0.0f;
    float damping = 0.0f;
    float gravityX = 0.0f;
    float gravityY = 0.0f;
    float wind = 0.0f;
    float lastAnchorX = 0.0f;
    float lastAnchorY = 0.0f;
};

struct PhysicsAnchor {
    float x = 0.0f;
    float y = 0.0f;
};

struct PhysicsState {
    std::vector<PhysicsPoint> points;
    float windX = 0.0f;  // the instance's own wind
    float windY = 0.0f;
};

// One point per spring of the model, at rest. The wind is left as it is.
void BuildPhysics(PhysicsState& state, const AnimeModel& model);

// One semi-implicit Euler step of dt milliseconds (capped at 33 ms; nothing
// happens for dt <= 0) in the wind (windX, windY). Point k uses anchors[k],
// or the origin when the list is shorter.
void StepPhysics(PhysicsState& state, float dt, const PhysicsAnchor* anchors, size_t anchorCount,
                 float windX, float windY);

// Every point back at rest; the spring constants and the wind stay.
void ResetPhysics(PhysicsState& state);

}  // namespace kivanime
