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
    SetLastError(Context(what, modelName) + ": " + DescribeRootNotObject(text, source));
    return false;
}

bool ReadWholeFile(const std::string& path, const char* what, const std::string& modelName,
                   std::string& bytes) {
    if (ReadFileBytes(path, bytes)) {
        return true;
    }
    SetLastError(Context(what, modelName) + ": cannot read file " + Quoted(path));
    return false;
}

template <typename Record>
using ReadRecordFn = bool (*)(const AnimeModel&, const JsonValue&, std::string_view, Record&);

template <typename Record>
bool ReadRecordText(const AnimeModel& model, const std::string& modelName, std::string_view text,
                    std::string_view source, const char* what, ReadRecordFn<Record> read,
                    Record& record) {
    JsonValue root;
    return ParseObject(text, source, what, modelName, root) &&
           read(model, root, std::string_view(), record);
}

template <typename Record>
bool ReadRecordFile(const AnimeModel& model, const std::string& modelName, const std::string& path,
                    const char* what, ReadRecordFn<Record> read, Record& record) {
    std::string bytes;
    return ReadWholeFile(path, what, modelName, bytes) &&
           ReadRecordText(model, modelName, bytes, path, what, read, record);
}

}  // namespace

bool IsModelCached(const AnimeManager& manager, const std::string& modelName) {
    return manager.modelCache.find(modelName) != manager.modelCache.end();
}

std::shared_ptr<AnimeModel> ReadModelText(const std::string& modelName, std::string_view text,
                                          const std::string& baseDir, std::string_view source) {
    JsonValue root;
    if (!ParseObject(text, source, nullptr, modelName, root)) {
        return nullptr;
    }
    auto model = std::make_shared<AnimeModel>();
    if (!ReadModelJson(*model, root, baseDir)) {
        return nullptr;
    }
    return model;
}

std::shared_ptr<AnimeModel> ReadModelFile(const std::string& modelName, const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, nullptr, modelName, bytes)) {
        return nullptr;
    }
    return ReadModelText(modelName, bytes, BaseDirOf(path), path);
}

bool StoreModel(AnimeManager& manager, const std::string& modelName,
                std::shared_ptr<AnimeModel>& model) {
    if (IsModelCached(manager, modelName)) {
        ClearLastError();  // whatever this call's own read said
        return true;
    }
    if (!model) {
        return false;
    }
    manager.modelCache.emplace(modelName, std::move(model));
    return true;
}

std::shared_ptr<AnimeModel> ModelToLoadInto(AnimeManager& manager, const std::string& modelName) {
    auto it = manager.modelCache.find(modelName);
    if (it == manager.modelCache.end()) {
        SetLastError("no model named " + Quoted(modelName) + " is loaded");
        return nullptr;
    }
    return it->second;
}

bool ReadMotionFile(const AnimeModel& model, const std::string& modelName, const std::string& path,
                    AnimeMotion& motion) {
    return ReadRecordFile(model, modelName, path, "a motion", ReadMotionRecord, motion);
}

bool ReadMotionText(const AnimeModel& model, const std::string& modelName, std::string_view text,
                    AnimeMotion& motion) {
    return ReadRecordText(model, modelName, text, "memory", "a motion", ReadMotionRecord, motion);
}

bool ReadExpressionFile(const AnimeModel& model, const std::string& modelName,
                        const std::string& path, AnimeExpression& expression) {
    return ReadRecordFile(model, modelName, path, "an expression", ReadExpressionRecord,
                          expression);
}

bool ReadExpressionText(const AnimeModel& model, const std::string& modelName,
                        std::string_view text, AnimeExpression& expression) {
    return ReadRecordText(model, modelName, text, "memory", "an expression", ReadExpressionRecord,
                          expression);
}

std::shared_ptr<AnimeModel> UnloadModel(AnimeManager& manager, const std::string& modelName) {
    DestroyInstancesOf(manager, modelName);
    std::shared_ptr<AnimeModel> dropped;
    auto cached = manager.modelCache.find(modelName);
    if (cached != manager.modelCache.end()) {
        dropped = std::move(cached->second);
        manager.modelCache.erase(cached);
    }
    return dropped;
}

}  // namespace kivanime
