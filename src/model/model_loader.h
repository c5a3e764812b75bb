// Reading a model file into an AnimeModel.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "json/json_value.h"
#include "model/anime_model.h"
#include "model/record_keys.h"

namespace kivanime {

// The directory part of a path, up to and including the last '/' or '\\'.
std::string BaseDirOf(const std::string& path);

// Fills the model from a parsed root; false, with no change, when the root is
// not an object.
bool ReadModelJson(AnimeModel& model, const JsonValue& root, const std::string& baseDir);

AnimePart ReadPartJson(const JsonValue& value);
PhysicsSpring ReadSpringJson(const JsonValue& value);

// The keys of a model file's top level (with its "canvas"), of a part and of
// a spring.
extern const std::span<const RecordKey<AnimeModel>> kModelKeys;
extern const std::span<const RecordKey<AnimePart>> kPartKeys;
extern const std::span<const RecordKey<PhysicsSpring>> kSpringKeys;
// "skins": one skin per member whose value is an object, in member order,
// each assignment a member whose value is a string. Anything else (a skin
// that is not an object, a texture name that is not a string) is skipped.
std::vector<AnimeSkin> ReadSkinsJson(const JsonValue& value);

}  // namespace kivanime
