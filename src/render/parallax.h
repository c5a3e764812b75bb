// The 3D parallax: lifts each part out of the picture plane by its depth,
// optionally bends the plane onto a cylinder, turns it by yaw, pitch and roll
// about a pivot and projects it back with a perspective relative to the
// unturned pose, so that at rest nothing moves.
#pragma once

#include "render/draw_item.h"
#include "render/draw_list.h"
#include "runtime/parallax_settings.h"

namespace kivanime {

// The terms that depend only on the settings, evaluated once per instance
// per draw rather than once per part.
struct ParallaxFrame {
    float cosA = 1.0f, sinA = 0.0f;  // yaw
    float cosB = 1.0f, sinB = 0.0f;  // pitch
    float cosC = 1.0f, sinC = 0.0f;  // roll
    float rollRadians = 0.0f;
    float narrowY = 1.0f;      // max(0.05, |cos B|)
    float narrowXFlat = 1.0f;  // max(0.05, |cos A|), the width factor without horizontal curvature
    float yawRadians = 0.0f;
    bool perspective = false;  // max(0, perspectiveStrength) > 0.0001
    float focal = 0.0f;        // max(50, focalDistance) / that strength, when on
};

ParallaxFrame PrepareParallax(const Parallax3D& settings);

// Replaces the item's position, scale, rotation and depth key. `depth` is the
// part's depth from the model.
void ApplyParallax(const Parallax3D& settings, const ParallaxFrame& frame, float depth,
                   DrawItem& item);

// The same for every slot of the list, bit for bit, four slots at a time
// where the processor allows. ignore3D slots are transformed too: the caller
// puts them back.
void ApplyParallax(const Parallax3D& settings, const ParallaxFrame& frame, DrawList& list);

}  // namespace kivanime
