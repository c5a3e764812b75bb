#include "model/expression_loader.h"

#include <utility>

#include "model/json_read.h"

namespace kivanime {

namespace {

const std::string kEmpty;

// Keys tested for presence: present with a number gives the number, present
// with anything else gives 0, absent leaves the target unset.
void ReadPresentFloat(const JsonValue& object, std::string_view key, float& out) {
    if (object.has(key)) {
        out = object.get(key).asFloat(0.0f);
    }
}

}  // namespace

ExpressionParam ReadExpressionParamJson(const AnimeModel& model, const JsonValue& value) {
    ExpressionParam param;
    if (!value.isObject()) {
        return param;
    }
    param.part = value.get("part").asString(kEmpty);
    param.partIndex = model.findPart(param.part);
    float x = 0.0f;
    float y = 0.0f;
    if (ReadPair(value.get("position"), x, y, 0.0f)) {
        param.x = x;
        param.y = y;
    }
    ReadPresentFloat(value, "rotation", param.rotation);
    ReadPresentFloat(value, "scaleX", param.scaleX);
    ReadPresentFloat(value, "scaleY", param.scaleY);
    ReadPresentFloat(value, "alpha", param.alpha);
    if (value.has("visible")) {
        param.visible = value.get("visible").asInt(0);
    }
    param.textureSwap = value.get("textureSwap").asString(kEmpty);
    param.textureSwapIndex = model.resolveTextureSwap(param.textureSwap);
    return param;
}

bool ReadExpressionJson(AnimeModel& model, const JsonValue& value, std::string_view name) {
    static const std::string kUnnamed(kDefaultName);
    if (!value.isObject()) {
        return false;
    }
    AnimeExpression expression;
    expression.name = name.empty() ? value.get("name").asString(kUnnamed) : std::string(name);
    expression.blendMs = value.get("blendMs").asFloat(expression.blendMs);
    const JsonValue& params = value.get("params");
    if (params.isArray()) {
        expression.params.reserve(params.size());
        for (const JsonValue& element : params.elements) {
            expression.params.push_back(ReadExpressionParamJson(model, element));
        }
    }
    auto it = model.expressions.find(expression.name);
    if (it != model.expressions.end()) {
        it->second = std::move(expression);
    } else {
        std::string key = expression.name;
        model.expressions.emplace(std::move(key), std::move(expression));
    }
    return true;
}

}  // namespace kivanime
