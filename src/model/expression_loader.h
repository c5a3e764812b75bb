// Reading expressions (from expression files or a model file's
// "expressions" object).
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.h"
#include "model/anime_model.h"

namespace kivanime {

// Same naming and in-place replacement rules as motions.
bool ReadExpressionJson(AnimeModel& model, const JsonValue& value, std::string_view name);

ExpressionParam ReadExpressionParamJson(const AnimeModel& model, const JsonValue& value);

}  // namespace kivanime
