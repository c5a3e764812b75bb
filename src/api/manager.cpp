#include "api/manager.h"

#include "api/instance_registry.h"

namespace kivanime {

namespace {

// Set while this thread holds the manager's lock.
thread_local bool t_insideLibrary = false;

}  // namespace

AnimeManager& GetManager() {
    static AnimeManager manager;
    return manager;
}

ApiScope::ApiScope() : manager_(&GetManager()) {
    if (t_insideLibrary) {
        return;
    }
    manager_->lock.lock();
    t_insideLibrary = true;
    entered_ = true;
}

ApiScope::~ApiScope() {
    if (entered_) {
        t_insideLibrary = false;
        manager_->lock.unlock();
    }
}

void Shutdown(AnimeManager& manager) {
    DestroyAllInstances(manager);
    manager.modelCache.clear();
    manager.events.clear();
    manager.nextInstanceId = 1;
}

}  // namespace kivanime
