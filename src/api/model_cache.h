// The model cache and the instance registry operations behind the exports.
// Every function here expects the manager's lock to be held.
#pragma once

#include <cstdint>
#include <string>

#include "api/manager.h"

namespace kivanime {

// True when the cache holds the name after the call. A cached name is not
// read again, whatever the path.
bool LoadModel(AnimeManager& manager, const std::string& modelName, const std::string& path);
bool LoadMotion(AnimeManager& manager, const std::string& modelName, const std::string& path);
bool LoadExpression(AnimeManager& manager, const std::string& modelName, const std::string& path);
void UnloadModel(AnimeManager& manager, const std::string& modelName);

// 0 when the model is not cached.
uint32_t CreateInstance(AnimeManager& manager, const std::string& modelName);
void DestroyInstance(AnimeManager& manager, uint32_t id);
void DestroyAllInstances(AnimeManager& manager);
void Shutdown(AnimeManager& manager);

// Gives the instance's textures back to the host and drops the model.
void TeardownInstance(AnimeInstance& instance);

AnimeInstance* FindInstance(AnimeManager& manager, uint32_t id);

}  // namespace kivanime
