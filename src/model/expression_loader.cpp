#include "model/expression_loader.h"

#include <utility>

namespace kivanime {

namespace {

// A parameter's targets are set only by the keys present: with a number, or
// with 0 for any other kind.
constexpr RecordKey<ExpressionParam> kParamKeyTable[] = {
    {"part", Want::String, [](ExpressionParam& p) { return FieldsOf(p.part); },
     "the parameter acts on no part"},
    {"position", Want::Pair, [](ExpressionParam& p) { return FieldsOf(p.x, p.y); },
     "the position is left to the motions"},
    {"rotation", Want::Present, [](ExpressionParam& p) { return FieldsOf(p.rotation); },
     "the rotation target is 0 (a present key that is not a number sets 0)"},
    {"scaleX", Want::Present, [](ExpressionParam& p) { return FieldsOf(p.scaleX); },
     "the scale target is 0 (a present key that is not a number sets 0)"},
    {"scaleY", Want::Present, [](ExpressionParam& p) { return FieldsOf(p.scaleY); },
     "the scale target is 0 (a present key that is not a number sets 0)"},
    {"alpha", Want::Present, [](ExpressionParam& p) { return FieldsOf(p.alpha); },
     "the part turns fully transparent (a present key that is not a number sets 0)"},
    {"visible", Want::PresentInt, [](ExpressionParam& p) { return FieldsOf(p.visible); },
     "the part is hidden (a present key that is not a number sets 0)"},
    {"textureSwap", Want::String, [](ExpressionParam& p) { return FieldsOf(p.textureSwap); },
     "no texture swap"},
    {"parameter", Want::String, [](ExpressionParam& p) { return FieldsOf(p.parameter); },
     "the element acts on a part, not a parameter"},
    {"value", Want::Number, [](ExpressionParam& p) { return FieldsOf(p.value); }},
};

constexpr RecordKey<AnimeExpression> kExpressionKeyTable[] = {
    {"name", Want::String, [](AnimeExpression& e) { return FieldsOf(e.name); },
     "the name \"{}\" applies", nullptr, kDefaultName},
    {"blendMs", Want::Number, [](AnimeExpression& e) { return FieldsOf(e.blendMs); },
     "{} ms applies"},
    {"params", Want::Array, nullptr, "the expression has no parameters",
     [](AnimeExpression& e, const JsonValue& v, const AnimeModel& model) {
         ReadArray(e.params, v,
                   [&](const JsonValue& p) { return ReadExpressionParamJson(model, p); });
     }},
};

}  // namespace

constinit const std::span<const RecordKey<AnimeExpression>> kExpressionKeys = kExpressionKeyTable;
constinit const std::span<const RecordKey<ExpressionParam>> kParamKeys = kParamKeyTable;

ExpressionParam ReadExpressionParamJson(const AnimeModel& model, const JsonValue& value) {
    ExpressionParam param;
    if (!value.isObject()) {
        return param;
    }
    ReadKeys(kParamKeys, value, param, model);
    if (value.get("parameter").isString()) {
        param.setsParameter = true;
        param.parameterIndex = model.parameters.find(param.parameter);
        return param;
    }
    param.partIndex = model.findPart(param.part);
    param.textureSwapIndex = model.resolveTextureSwap(param.textureSwap);
    return param;
}

bool ReadExpressionJson(AnimeModel& model, const JsonValue& value, std::string_view name) {
    AnimeExpression expression;
    if (!ReadExpressionRecord(model, value, name, expression)) {
        return false;
    }
    StoreExpression(model, std::move(expression));
    return true;
}

bool ReadExpressionRecord(const AnimeModel& model, const JsonValue& value, std::string_view name,
                          AnimeExpression& expression) {
    if (!value.isObject()) {
        return false;
    }
    ReadKeys(kExpressionKeys, value, expression, model);
    if (!name.empty()) {
        expression.name = name;
    }
    for (ExpressionParam& param : expression.params) {
        if (param.setsParameter) {
            expression.parameterValues.push_back(std::move(param));
        }
    }
    std::erase_if(expression.params, [](const ExpressionParam& p) { return p.setsParameter; });
    return true;
}

void StoreExpression(AnimeModel& model, AnimeExpression&& expression) {
    auto it = model.expressions.find(expression.name);
    if (it != model.expressions.end()) {
        it->second = std::move(expression);
    } else {
        std::string key = expression.name;
        model.expressions.emplace(std::move(key), std::move(expression));
    }
}

}  // namespace kivanime
