#include "runtime/expression_blend.h"

#include <cmath>

namespace kivanime {

void SetExpression(ExpressionBlend& blend, const AnimeExpression& expression) {
    blend.expression = &expression;
    blend.active = true;
    blend.target = 1.0f;
    if (expression.blendMs > 0.001f) {
        blend.rate = 1.0f / expression.blendMs;
    } else {
        blend.weight = 1.0f;
    }
}

bool SetExpression(ExpressionBlend& blend, const AnimeModel& model, std::string_view name) {
    const AnimeExpression* expression = model.findExpression(name);
    if (expression != nullptr) {
        SetExpression(blend, *expression);
    }
    return expression != nullptr;
}

void ClearExpression(ExpressionBlend& blend) {
    blend.target = 0.0f;
    if (blend.rate <= 0.0f) {
        blend.active = false;
    }
}

void AdvanceExpressionWeight(ExpressionBlend& blend, float dt) {
    if (!blend.active || blend.expression == nullptr) {
        return;
    }
    if (blend.target > blend.weight) {
        blend.weight += dt * blend.rate;
        if (blend.weight >= blend.target) {
            blend.weight = blend.target;
        }
    } else if (blend.weight > blend.target) {
        blend.weight -= dt * blend.rate;
        if (blend.weight <= blend.target) {
            blend.weight = blend.target;
            if (blend.target <= 0.0f) {
                blend.active = false;
            }
        }
    }
}

void ApplyExpression(const ExpressionBlend& blend, const std::vector<int32_t>& textureHandles,
                     std::vector<PartPose>& poses) {
    const float w = blend.weight;
    if (!blend.active || blend.expression == nullptr || w <= 0.0f) {
        return;
    }
    const bool discrete = w >= 0.5f;
    for (const ExpressionParam& q : blend.expression->params) {
        if (q.partIndex < 0 || static_cast<size_t>(q.partIndex) >= poses.size()) {
            continue;
        }
        PartPose& p = poses[static_cast<size_t>(q.partIndex)];
        auto pull = [w](float& field, float target) {
            if (target == target) {  // NaN marks an unset target
                field = field + (target - field) * w;
            }
        };
        pull(p.local.x, q.x);
        pull(p.local.y, q.y);
        pull(p.local.rotation, q.rotation);
        pull(p.local.scaleX, q.scaleX);
        pull(p.local.scaleY, q.scaleY);
        pull(p.local.alpha, q.alpha);
        if (discrete) {
            if (q.visible >= 0) {
                p.visible = q.visible != 0;
            }
            if (q.textureSwapIndex != kNoTextureSwap) {
                p.textureHandle = TextureHandleOf(q.textureSwapIndex, textureHandles);
            }
        }
    }
}

}  // namespace kivanime
