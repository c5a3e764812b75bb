// The model cache: models loaded by name, and the motions and expressions
// loaded into them.
//
// A load does not hold the manager's lock while it reads and parses, or a
// frame on another thread would wait for the whole parse of a large model.
// It looks under the lock first (a cached name is not read again; a motion
// or an expression needs its model), reads and parses with the lock
// released, and takes the lock again only to store what it read. Each
// function says whether it expects the lock to be held. Failures record
// their reason (see last_error.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "api/manager.h"

namespace kivanime {

// Lock held. A cached name is not read again, whatever the path.
bool IsModelCached(const AnimeManager& manager, const std::string& modelName);

// No lock. The model a file or bytes in memory describe; null when they do
// not. For bytes, `baseDir` stands for the model file's folder (ending in a
// separator, or empty) and `source` names the text in messages: exactly what
// loading a file holding those bytes does.
std::shared_ptr<AnimeModel> ReadModelFile(const std::string& modelName, const std::string& path);
std::shared_ptr<AnimeModel> ReadModelText(const std::string& modelName, std::string_view text,
                                          const std::string& baseDir, std::string_view source);

// Lock held. Caches a model read as above (null: the read failed); true when
// the cache holds the name after the call. A name cached meanwhile, by a load
// on another thread that stored first, keeps that model and the call
// succeeds, as it would had it come second and found the name cached.
// A model not stored stays with the caller, to be freed after the lock is
// given back.
bool StoreModel(AnimeManager& manager, const std::string& modelName,
                std::shared_ptr<AnimeModel>& model);

// Lock held. The model a motion or an expression is read against and stored
// into; null when no model of that name is cached. A load keeps the model it
// found: should the name be unloaded before the load stores, the load still
// succeeds, as it would had it run whole before the unload.
std::shared_ptr<AnimeModel> ModelToLoadInto(AnimeManager& manager, const std::string& modelName);

// No lock: `model` is only read. A motion or an expression from a file or
// from memory, to be stored (lock held) by StoreMotion or StoreExpression.
bool ReadMotionFile(const AnimeModel& model, const std::string& modelName, const std::string& path,
                    AnimeMotion& motion);
bool ReadMotionText(const AnimeModel& model, const std::string& modelName, std::string_view text,
                    AnimeMotion& motion);
bool ReadExpressionFile(const AnimeModel& model, const std::string& modelName,
                        const std::string& path, AnimeExpression& expression);
bool ReadExpressionText(const AnimeModel& model, const std::string& modelName,
                        std::string_view text, AnimeExpression& expression);

// Lock held. Drops the model and every instance created from that name, and
// returns the model (null when none was cached) for the caller to free once
// the lock is given back: freeing a large model takes a while.
std::shared_ptr<AnimeModel> UnloadModel(AnimeManager& manager, const std::string& modelName);

}  // namespace kivanime
