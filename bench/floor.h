// The floor: the least work that any runtime doing this job must do per part
// and frame, written as plainly and as tightly as possible, so that the
// library's figures can be read as ratios to it.
//   update: copy the rest pose, interpolate six floats between two keyframes
//           and apply them, compose with the parent (one sinf/cosf pair per
//           part) over a precomputed parent-first order;
//   draw:   fill a 64-byte record per part and call the host through a
//           function pointer the compiler cannot inline.
#pragma once

#include <cstdint>
#include <vector>

#include "kivanime.h"

namespace kivanime::bench {

struct FloorPose {
    float x, y, rotation, scaleX, scaleY, alpha;
};

struct FloorWorld {
    float x, y, rotation, scaleX, scaleY, alpha, cosR, sinR;
};

struct FloorScene {
    int instances = 0;
    // Shared by every instance, as a model is.
    std::vector<int32_t> parent;     // per part, parents first
    std::vector<int32_t> drawOrder;  // part indices, back to front
    std::vector<FloorPose> rest;
    std::vector<FloorPose> key0;  // the two keyframes around the current time
    std::vector<FloorPose> key1;
    std::vector<float> anchorSrc;  // 6 per part: anchor x, y, src x, y, w, h
    // Per instance.
    std::vector<float> clock;
    std::vector<float> placement;  // 4 per instance: x, y, scaleX, scaleY
    std::vector<FloorWorld> world;
};

FloorScene MakeFloorScene(int instances);
void FloorUpdate(FloorScene& scene, float dt);
void FloorDraw(const FloorScene& scene);

// Parts per instance of the benchmark character.
inline constexpr int kPartsPerInstance = 40;

}  // namespace kivanime::bench
