// The process-wide state behind the exported functions: host table, model
// cache, instance registry and the one lock that serialises them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "kivanime.h"
#include "model/anime_model.h"
#include "model/name_map.h"
#include "render/render_frame.h"
#include "runtime/anime_instance.h"
#include "runtime/instance_table.h"
#include "runtime/motion_events.h"
#include "runtime/task_system.h"
#include "runtime/update_workers.h"

namespace kivanime {

struct AnimeManager {
    AnimeHostCallbacks callbacks{};
    AnimeDrawMeshFn drawMesh = nullptr;  // taken by instances created from now on
    std::unordered_map<std::string, std::shared_ptr<AnimeModel>, StringHash, std::equal_to<>>
        modelCache;
    InstanceTable instances;
    uint32_t nextInstanceId = 1;
    float globalWindX = 0.0f;
    float globalWindY = 0.0f;
    std::mutex lock;
    // The game's task system (none by default), and the working space of
    // the instance updates: one set per worker, each reused by the instances
    // its worker updates in turn.
    TaskSystem tasks;
    UpdateWorkers updateWorkers;
    RenderFrame renderFrame;
    // What the motions announced in the last Anime_Update.
    FrameEvents events;
};

// The manager, created on first use (thread-safely) and destroyed when the
// library is unloaded, without calls to the host.
AnimeManager& GetManager();

// Every instance destroyed (textures released), every model dropped, the
// event list emptied, ids counted from 1 again. Expects the lock to be held.
void Shutdown(AnimeManager& manager);

// Holds the manager's lock for the duration of an export. A host function
// that calls back into the library while the lock is held on its thread
// would deadlock; such a nested call gets a scope that does not hold the lock
// (`entered()` is false) and must return its failure value untouched.
class ApiScope {
public:
    ApiScope();
    ~ApiScope();
    ApiScope(const ApiScope&) = delete;
    ApiScope& operator=(const ApiScope&) = delete;

    bool entered() const { return entered_; }
    AnimeManager& manager() const { return *manager_; }

private:
    AnimeManager* manager_;
    bool entered_ = false;
};

}  // namespace kivanime
