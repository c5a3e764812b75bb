// One update's parameter values, from every source in turn: the host's
// value, the main motion's track (blended by a cross-fade, the host's value
// standing in for a side without a track), each overlay's track by its
// weight, the expression's value by its weight, then the drivers, and last
// the clamp into each parameter's range.
#pragma once

#include "model/anime_model.h"
#include "runtime/expression_blend.h"
#include "runtime/motion_player.h"
#include "runtime/parameter_values.h"

namespace kivanime {

// Leaves the values in `values.used`. The motions' clocks are where this
// update moved them; `dtMs` is the drivers' time. Allocates nothing.
void EvaluateParameters(ParameterValues& values, const AnimeModel& model, MotionPlayer& player,
                        const ExpressionBlend& expression, float dtMs);

// The value a motion's last track naming parameter `index` gives at `timeMs`,
// or NaN when no track of the motion (which may be null) names it.
float SampleParameter(const AnimeMotion* motion, int32_t index, float timeMs);

}  // namespace kivanime
