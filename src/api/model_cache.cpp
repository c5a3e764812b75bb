#include "api/model_cache.h"

#include <utility>

#include "api/utf16.h"
#include "model/expression_loader.h"
#include "model/model_loader.h"
#include "model/motion_loader.h"

namespace kivanime {

bool LoadModel(AnimeManager& manager, const std::string& modelName, const std::string& path) {
    if (manager.modelCache.find(modelName) != manager.modelCache.end()) {
        return true;
    }
    auto model = std::make_shared<AnimeModel>();
    if (!LoadModelFile(*model, path)) {
        return false;
    }
    manager.modelCache.emplace(modelName, std::move(model));
    return true;
}

bool LoadMotion(AnimeManager& manager, const std::string& modelName, const std::string& path) {
    auto it = manager.modelCache.find(modelName);
    if (it == manager.modelCache.end()) {
        return false;
    }
    return LoadMotionFile(*it->second, path);
}

bool LoadExpression(AnimeManager& manager, const std::string& modelName, const std::string& path) {
    auto it = manager.modelCache.find(modelName);
    if (it == manager.modelCache.end()) {
        return false;
    }
    return LoadExpressionFile(*it->second, path);
}

void TeardownInstance(AnimeInstance& instance) {
    if (instance.host.releaseTexture != nullptr) {
        for (int32_t handle : instance.textureHandles) {
            if (handle >= 0) {
                instance.host.releaseTexture(handle);
            }
        }
    }
    instance.textureHandles.clear();
    instance.model.reset();
    instance.poses.clear();
}

namespace {

void LoadTextures(AnimeInstance& instance) {
    const AnimeModel& model = *instance.model;
    instance.textureHandles.assign(model.textures.size(), -1);
    if (instance.host.loadTexture == nullptr) {
        return;
    }
    std::string fullPath;
    std::u16string wide;
    for (size_t i = 0; i < model.textures.size(); ++i) {
        fullPath.assign(model.baseDir);
        fullPath.append(model.textures[i].path);
        wide = Utf8ToUtf16(fullPath);
        const int32_t handle =
            instance.host.loadTexture(reinterpret_cast<const uint16_t*>(wide.c_str()));
        if (handle >= 0) {
            instance.textureHandles[i] = handle;
        }
    }
}

uint32_t NextFreeId(AnimeManager& manager) {
    // Skip 0 (the failure value) and ids still live once the counter wraps.
    uint32_t id = manager.nextInstanceId;
    while (id == 0 || manager.instances.find(id) != manager.instances.end()) {
        ++id;
    }
    return id;
}

}  // namespace

uint32_t CreateInstance(AnimeManager& manager, const std::string& modelName) {
    auto it = manager.modelCache.find(modelName);
    if (it == manager.modelCache.end()) {
        return 0;
    }
    auto instance = std::make_unique<AnimeInstance>();
    instance->model = it->second;
    instance->host = manager.callbacks;
    const uint32_t id = NextFreeId(manager);
    // Make room in both maps first, so that nothing can fail once the host
    // has handed out texture handles.
    manager.instances.reserve(manager.instances.size() + 1);
    manager.instanceModelNames.reserve(manager.instanceModelNames.size() + 1);
    std::string nameCopy = modelName;
    try {
        LoadTextures(*instance);
        InitializeInstanceState(*instance);
        auto inserted = manager.instances.emplace(id, std::move(instance));
        try {
            manager.instanceModelNames.emplace(id, std::move(nameCopy));
        } catch (...) {
            TeardownInstance(*inserted.first->second);
            manager.instances.erase(inserted.first);
            throw;
        }
    } catch (...) {
        if (instance) {
            TeardownInstance(*instance);
        }
        throw;
    }
    manager.nextInstanceId = id + 1;
    return id;
}

AnimeInstance* FindInstance(AnimeManager& manager, uint32_t id) {
    auto it = manager.instances.find(id);
    return it == manager.instances.end() ? nullptr : it->second.get();
}

void DestroyInstance(AnimeManager& manager, uint32_t id) {
    auto it = manager.instances.find(id);
    if (it != manager.instances.end()) {
        TeardownInstance(*it->second);
        manager.instances.erase(it);
    }
    manager.instanceModelNames.erase(id);
}

void DestroyAllInstances(AnimeManager& manager) {
    for (auto& entry : manager.instances) {
        TeardownInstance(*entry.second);
    }
    manager.instances.clear();
    manager.instanceModelNames.clear();
}

void UnloadModel(AnimeManager& manager, const std::string& modelName) {
    for (auto it = manager.instanceModelNames.begin(); it != manager.instanceModelNames.end();) {
        if (it->second == modelName) {
            auto found = manager.instances.find(it->first);
            if (found != manager.instances.end()) {
                TeardownInstance(*found->second);
                manager.instances.erase(found);
            }
            it = manager.instanceModelNames.erase(it);
        } else {
            ++it;
        }
    }
    auto cached = manager.modelCache.find(modelName);
    if (cached != manager.modelCache.end()) {
        manager.modelCache.erase(cached);
    }
}

void Shutdown(AnimeManager& manager) {
    DestroyAllInstances(manager);
    manager.modelCache.clear();
    manager.nextInstanceId = 1;
}

}  // namespace kivanime
