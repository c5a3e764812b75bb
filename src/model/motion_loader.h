// Reading motions (from motion files or a model file's "motions" object).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/json_value.h"
#include "model/anime_model.h"
#include "model/record_keys.h"

namespace kivanime {

// Stores the motion under `name`, or when that is empty under its "name"
// (a string, even empty), else "unnamed". An existing record of that name is
// overwritten in place. False, with no change, when `value` is not an object.
bool ReadMotionJson(AnimeModel& model, const JsonValue& value, std::string_view name);
// The two halves of that: reading the motion, which only reads the model (its
// parts, textures and meshes, never its motions), and storing it.
bool ReadMotionRecord(const AnimeModel& model, const JsonValue& value, std::string_view name,
                      AnimeMotion& motion);
void StoreMotion(AnimeModel& model, AnimeMotion&& motion);

// `model` resolves part and texture names to indices.
MotionTrack ReadTrackJson(const AnimeModel& model, const JsonValue& value);
MotionKeyframe ReadKeyframeJson(const AnimeModel& model, const JsonValue& value);

// The keys of a motion, a track and a keyframe.
extern const std::span<const RecordKey<AnimeMotion>> kMotionKeys;
extern const std::span<const RecordKey<MotionTrack>> kTrackKeys;
extern const std::span<const RecordKey<MotionKeyframe>> kKeyframeKeys;
extern const std::span<const RecordKey<MotionEvent>> kEventKeys;

// A keyframe's "deform" (numbers read as x, y offset pairs of consecutive
// vertices; a number that is not one gives 0) from vertex "deformStart" on
// (truncated toward zero, 0 by default), for a mesh of `vertexCount`
// vertices: pairs outside the mesh and an odd last number are dropped. The
// kept offsets are appended to `values`.
inline constexpr std::string_view kDeformKey = "deform";
inline constexpr std::string_view kDeformStartKey = "deformStart";
// A parameter track's keyframe value (see MotionTrack::parameter).
inline constexpr std::string_view kValueKey = "value";
KeyframeDeform ReadKeyframeDeform(const JsonValue& keyframe, int32_t vertexCount,
                                  std::vector<float>& values);
// The easing names a keyframe may give; the first applies to any other text.
inline constexpr std::pair<std::string_view, EasingType> kEasingNames[] = {
    {"linear", EasingType::Linear},
    {"ease_in", EasingType::EaseIn},
    {"ease_out", EasingType::EaseOut},
    {"ease_in_out", EasingType::EaseInOut},
    {"ease_in_cubic", EasingType::EaseInCubic},
    {"ease_out_cubic", EasingType::EaseOutCubic},
    {"ease_in_out_cubic", EasingType::EaseInOutCubic},
    {"ease_in_back", EasingType::EaseInBack},
    {"ease_out_back", EasingType::EaseOutBack},
    {"ease_out_bounce", EasingType::EaseOutBounce},
    {"step", EasingType::Step},
};
EasingType ParseEasing(std::string_view text);

// A motion's "events": the elements that are objects, sorted by time like
// keyframes.
std::vector<MotionEvent> ReadMotionEvents(const AnimeModel& model, const JsonValue& value);

// Sorts keyframes ascending by time. Any float order is safe: NaN times go
// last, equal times keep their file order.
void SortKeyframes(std::vector<MotionKeyframe>& keyframes);
// The same, moving each keyframe's deform along with it (when there is one
// per keyframe).
void SortKeyframes(std::vector<MotionKeyframe>& keyframes, std::vector<KeyframeDeform>& deforms);

}  // namespace kivanime
