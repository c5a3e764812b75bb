// Reading expressions (from expression files or a model file's
// "expressions" object).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "json/json_value.h"
#include "model/anime_model.h"
#include "model/record_keys.h"

namespace kivanime {

// Same naming and in-place replacement rules as motions.
bool ReadExpressionJson(AnimeModel& model, const JsonValue& value, std::string_view name);
// Its two halves, as for motions: reading (the model only read) and storing.
bool ReadExpressionRecord(const AnimeModel& model, const JsonValue& value, std::string_view name,
                          AnimeExpression& expression);
void StoreExpression(AnimeModel& model, AnimeExpression&& expression);

ExpressionParam ReadExpressionParamJson(const AnimeModel& model, const JsonValue& value);

// The keys of an expression and of a parameter.
extern const std::span<const RecordKey<AnimeExpression>> kExpressionKeys;
extern const std::span<const RecordKey<ExpressionParam>> kParamKeys;

}  // namespace kivanime
