// Turning parameter values into part poses and mesh offsets through the
// model's keyed bindings.
#pragma once

#include <cstdint>
#include <vector>

#include "model/anime_model.h"
#include "runtime/keyframes.h"
#include "runtime/mesh_deform.h"
#include "runtime/pose.h"

namespace kivanime {

// Where a value stands on a binding's ascending key values: between `lo`
// and `hi` at fraction `f` (lo == hi and f == 0 at or past either end, where
// the value is clamped to the end key), and the key nearest to it (the
// lower one on a tie) for visibility and texture.
struct AxisPoint {
    uint32_t lo = 0;
    uint32_t hi = 0;
    float f = 0.0f;
    uint32_t nearest = 0;
};

// `axis` is not empty.
AxisPoint LocateOnAxis(const std::vector<float>& axis, float value);

// What a (not inert) binding asks of its part at the parameter values
// `values` (one per parameter of the model): the channels interpolated
// linearly over one parameter or bilinearly over the grid cell of two
// (first along the first parameter, then the second), visibility and
// texture from the nearest key.
PartDelta EvaluateBinding(const AnimeBinding& binding, const float* values);

// What one binding gave an instance at its last update, and the parameter
// values (as bits) it gave it for. Most faces hold most parameters still for
// many frames (a head turned and kept there, eyes open between blinks), and
// the same values give the same change to the bit, so a binding whose values
// did not change is applied from here without being evaluated again.
struct BindingMemo {
    uint32_t bits[2] = {0, 0};
    bool valid = false;
    AxisPoint along[2];  // where the values stand on the axes (for the vertex offsets)
    PartDelta delta;
};

// One memo per binding of `model`, none valid yet.
void InitializeBindingMemos(std::vector<BindingMemo>& memos, const AnimeModel& model);

// Applies every binding in file order: its change combines with the local
// pose as a motion track's does (offsets add, factors multiply), and its
// vertex offsets add to the mesh. With `memos` (one per binding of the
// model) a binding whose values are those of the last call is not evaluated
// again, and every memo is brought up to date. Allocates nothing.
void ApplyBindings(const AnimeModel& model, const float* values,
                   const std::vector<int32_t>& textureHandles, std::vector<PartPose>& poses,
                   MeshDeform& mesh, BindingMemo* memos = nullptr);

}  // namespace kivanime
