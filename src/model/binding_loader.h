// Reading a model file's "bindings" (after its parts, meshes, textures and
// parameters are known: names resolve to indices here, once).
#pragma once

#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "json/json_value.h"
#include "model/binding.h"
#include "model/record_keys.h"

namespace kivanime {

struct AnimeModel;

extern const std::span<const RecordKey<AnimeBinding>> kBindingKeys;
extern const std::span<const RecordKey<BindingKey>> kBindingKeyKeys;

// One binding. It is inert (dimensions 0) when its part or a parameter is
// unknown, when it names no parameter or more than two, when it has no key,
// or, with two parameters, when its keys do not form a full grid. A key
// whose "at" is not finite (or not a number, or for two parameters not an
// array of two numbers) is left out.
AnimeBinding ReadBindingJson(const AnimeModel& model, const JsonValue& value);

// "bindings": one binding per element, in file order.
std::vector<AnimeBinding> ReadBindingsJson(const AnimeModel& model, const JsonValue& array);

// For two-parameter keys: the first (a, b) of the grid their distinct values
// span that no key sits at, row by row; none when the grid is full.
std::optional<std::pair<float, float>> MissingGridCorner(const std::vector<BindingKey>& keys);

}  // namespace kivanime
