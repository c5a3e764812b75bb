// The model cache: models loaded by name, and the motions and expressions
// loaded into them. Every function here expects the manager's lock to be
// held.
#pragma once

#include <string>
#include <string_view>

#include "api/manager.h"

namespace kivanime {

// True when the cache holds the name after the call. A cached name is not
// read again, whatever the path.
// Failures record their reason (see last_error.h).
bool LoadModel(AnimeManager& manager, const std::string& modelName, const std::string& path);
bool LoadMotion(AnimeManager& manager, const std::string& modelName, const std::string& path);
bool LoadExpression(AnimeManager& manager, const std::string& modelName, const std::string& path);

// The same loads from bytes already in memory: exactly what loading a file
// holding those bytes does. `baseDir` stands for the model file's folder
// (ending in a separator, or empty) and `source` names the text in messages.
bool LoadModelText(AnimeManager& manager, const std::string& modelName, std::string_view text,
                   const std::string& baseDir, std::string_view source);
bool LoadMotionText(AnimeManager& manager, const std::string& modelName, std::string_view text);
bool LoadExpressionText(AnimeManager& manager, const std::string& modelName, std::string_view text);

// Drops the model and every instance created from that name.
void UnloadModel(AnimeManager& manager, const std::string& modelName);

}  // namespace kivanime
