// Reading expressions (from expression files or a model file's
// "expressions" object).
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.h"
#include "model/anime_model.h"

namespace kivanime {

bool LoadExpressionFile(AnimeModel& model, const std::string& path);

// Same naming and in-place replacement rules as motions.
bool ReadExpressionJson(AnimeModel& model, const JsonValue& value, std::string_view name);

ExpressionParam ReadExpressionParamJson(const AnimeModel& model, const JsonValue& value);

const AnimeExpression* FindExpression(const AnimeModel& model, std::string_view name);

}  // namespace kivanime
