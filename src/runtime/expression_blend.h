// An instance's expression state: at most one expression, faded in and out
// with one weight.
#pragma once

#include <string_view>
#include <vector>

#include "model/anime_expression.h"
#include "runtime/pose.h"

namespace kivanime {

struct ExpressionBlend {
    const AnimeExpression* expression = nullptr;  // the last one set; kept after it fades out
    float weight = 0.0f;
    float target = 1.0f;
    float rate = 0.0f;  // weight per millisecond: 1 / blendMs of the last expression that had one
    bool active = false;
};

// Starts fading `expression` in from the current weight; an expression with
// no blend time (0.001 ms or less) shows at full at once.
void SetExpression(ExpressionBlend& blend, const AnimeExpression& expression);

// The same for the model's expression of that name; false, with nothing
// changed, when the model has none.
bool SetExpression(ExpressionBlend& blend, const AnimeModel& model, std::string_view name);

// Starts fading out; with no rate ever set the expression goes off at once.
void ClearExpression(ExpressionBlend& blend);

// Moves the weight toward the target by dt x rate; switches off at the end of
// a fade-out.
void AdvanceExpressionWeight(ExpressionBlend& blend, float dt);

// Pulls the local pose toward the expression's targets by the weight;
// visibility and texture swaps act from weight 0.5 on.
void ApplyExpression(const ExpressionBlend& blend, const std::vector<int32_t>& textureHandles,
                     std::vector<PartPose>& poses);

}  // namespace kivanime
