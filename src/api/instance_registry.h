// The instance registry: live instances in creation order, found by id, and
// the textures each holds from the host. Every function
// here expects the manager's lock to be held.
#pragma once

#include <cstdint>
#include <string>

#include "api/manager.h"

namespace kivanime {

// A new instance of a cached model, with its textures loaded; 0 (and the
// reason recorded) when the model is not cached.
uint32_t CreateInstance(AnimeManager& manager, const std::string& modelName);
void DestroyInstance(AnimeManager& manager, uint32_t id);
void DestroyAllInstances(AnimeManager& manager);
// Every instance created from the name `modelName`.
void DestroyInstancesOf(AnimeManager& manager, const std::string& modelName);

// Gives the instance's textures back to the host and drops the model.
void TeardownInstance(AnimeInstance& instance);

AnimeInstance* FindInstance(AnimeManager& manager, uint32_t id);

// The name the instance was created from, for messages; empty for an
// unknown id.
std::string ModelNameOf(const AnimeManager& manager, uint32_t id);

}  // namespace kivanime
