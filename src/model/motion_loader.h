// Reading motions (from motion files or a model file's "motions" object).
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.h"
#include "model/anime_model.h"

namespace kivanime {

// Stores the motion under `name`, or when that is empty under its "name"
// (a string, even empty), else "unnamed". An existing record of that name is
// overwritten in place. False, with no change, when `value` is not an object.
bool ReadMotionJson(AnimeModel& model, const JsonValue& value, std::string_view name);

// `model` resolves part and texture names to indices.
MotionTrack ReadTrackJson(const AnimeModel& model, const JsonValue& value);
MotionKeyframe ReadKeyframeJson(const AnimeModel& model, const JsonValue& value);
EasingType ParseEasing(std::string_view text);

// Sorts keyframes ascending by time. Any float order is safe: NaN times go
// last, equal times keep their file order.
void SortKeyframes(std::vector<MotionKeyframe>& keyframes);

}  // namespace kivanime
