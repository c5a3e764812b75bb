#include "api/model_cache.h"

#include <utility>

#include "api/instance_registry.h"
#include "api/last_error.h"
#include "json/json_file.h"
#include "json/json_parser.h"
#include "json/json_root_error.h"
#include "model/expression_loader.h"
#include "model/model_loader.h"
#include "model/motion_loader.h"
#include "text/utf.h"

namespace kivanime {

namespace {

// What failed, for messages: a model (`what` null), or a motion or an
// expression into a model. Built only when a load fails.
std::string Context(const char* what, const std::string& modelName) {
    return what == nullptr
               ? "cannot load model " + Quoted(modelName)
               : std::string("cannot load ") + what + " into model " + Quoted(modelName);
}

// Parses `text`; a top level that is not an object records why.
bool ParseObject(std::string_view text, std::string_view source, const char* what,
                 const std::string& modelName, JsonValue& root) {
    root = ParseJson(text);
    if (root.isObject()) {
        return true;
    }
    SetLastError(ANIME_ERROR_INVALID_JSON,
                 Context(what, modelName) + ": " + DescribeRootNotObject(text, source));
    return false;
}

bool ReadWholeFile(const std::string& path, const char* what, const std::string& modelName,
                   std::string& bytes) {
    bool missing = false;
    if (ReadFileBytes(path, bytes, &missing)) {
        return true;
    }
    SetLastError(missing ? ANIME_ERROR_FILE_NOT_FOUND : ANIME_ERROR_FILE_UNREADABLE,
                 Context(what, modelName) + ": cannot read file " + Quoted(path));
    return false;
}

AnimeModel* FindModel(AnimeManager& manager, const std::string& modelName) {
    auto it = manager.modelCache.find(modelName);
    if (it == manager.modelCache.end()) {
        SetLastError(ANIME_ERROR_UNKNOWN_MODEL,
                     "no model named " + Quoted(modelName) + " is loaded");
        return nullptr;
    }
    return it->second.get();
}

using ReadRecordFn = bool (*)(AnimeModel&, const JsonValue&, std::string_view);

bool LoadRecordText(AnimeManager& manager, const std::string& modelName, std::string_view text,
                    std::string_view source, const char* what, ReadRecordFn read) {
    AnimeModel* model = FindModel(manager, modelName);
    JsonValue root;
    return model != nullptr && ParseObject(text, source, what, modelName, root) &&
           read(*model, root, std::string_view());
}

bool LoadRecordFile(AnimeManager& manager, const std::string& modelName, const std::string& path,
                    const char* what, ReadRecordFn read) {
    // An unknown model reads nothing.
    if (FindModel(manager, modelName) == nullptr) {
        return false;
    }
    std::string bytes;
    return ReadWholeFile(path, what, modelName, bytes) &&
           LoadRecordText(manager, modelName, bytes, path, what, read);
}

}  // namespace

bool LoadModelText(AnimeManager& manager, const std::string& modelName, std::string_view text,
                   const std::string& baseDir, std::string_view source) {
    if (manager.modelCache.find(modelName) != manager.modelCache.end()) {
        return true;
    }
    JsonValue root;
    if (!ParseObject(text, source, nullptr, modelName, root)) {
        return false;
    }
    auto model = std::make_shared<AnimeModel>();
    if (!ReadModelJson(*model, root, baseDir)) {
        return false;
    }
    manager.modelCache.emplace(modelName, std::move(model));
    return true;
}

bool LoadModel(AnimeManager& manager, const std::string& modelName, const std::string& path) {
    // A cached name is not read again, whatever the path.
    if (manager.modelCache.find(modelName) != manager.modelCache.end()) {
        return true;
    }
    std::string bytes;
    return ReadWholeFile(path, nullptr, modelName, bytes) &&
           LoadModelText(manager, modelName, bytes, BaseDirOf(path), path);
}

bool LoadMotion(AnimeManager& manager, const std::string& modelName, const std::string& path) {
    return LoadRecordFile(manager, modelName, path, "a motion", ReadMotionJson);
}

bool LoadMotionText(AnimeManager& manager, const std::string& modelName, std::string_view text) {
    return LoadRecordText(manager, modelName, text, "memory", "a motion", ReadMotionJson);
}

bool LoadExpression(AnimeManager& manager, const std::string& modelName, const std::string& path) {
    return LoadRecordFile(manager, modelName, path, "an expression", ReadExpressionJson);
}

bool LoadExpressionText(AnimeManager& manager, const std::string& modelName,
                        std::string_view text) {
    return LoadRecordText(manager, modelName, text, "memory", "an expression", ReadExpressionJson);
}

void UnloadModel(AnimeManager& manager, const std::string& modelName) {
    DestroyInstancesOf(manager, modelName);
    auto cached = manager.modelCache.find(modelName);
    if (cached != manager.modelCache.end()) {
        manager.modelCache.erase(cached);
    } else {
        SetLastError(ANIME_ERROR_UNKNOWN_MODEL,
                     "no model named " + Quoted(modelName) + " is loaded");
    }
}

}  // namespace kivanime
