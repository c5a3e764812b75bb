#include "api/instance_registry.h"

#include <algorithm>
#include <new>
#include <utility>

#include "api/last_error.h"
#include "runtime/instance_update.h"
#include "text/utf.h"

namespace kivanime {

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

// Loads the instance's textures; returns how many the host refused, with the
// first of them in `firstRefused`.
size_t LoadTextures(AnimeInstance& instance, size_t& firstRefused) {
    const AnimeModel& model = *instance.model;
    size_t refused = 0;
    instance.textureHandles.assign(model.textures.size(), -1);
    if (instance.host.loadTexture == nullptr) {
        return 0;
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
        } else if (refused++ == 0) {
            firstRefused = i;
        }
    }
    return refused;
}

// A successful creation still tells the host which texture it refused: the
// parts showing it will not be drawn. The instance exists by now, so running
// out of memory for the text must not fail the call: a shorter note says it.
void NoteRefusedTextures(const AnimeInstance& instance, uint32_t id, size_t refused,
                         size_t first) noexcept try {
    const AnimeTexture& texture = instance.model->textures[first];
    std::string note = "instance " + std::to_string(id) +
                       " was created, but the host refused texture " + Quoted(texture.name) + " (" +
                       Quoted(instance.model->baseDir + texture.path) +
                       "): parts showing it are not drawn";
    if (refused > 1) {
        note +=
            " (and " + std::to_string(refused - 1) + " more texture" + (refused > 2 ? "s)" : ")");
    }
    SetLastError(ANIME_ERROR_TEXTURE_REFUSED, note);
} catch (...) {
    SetLastError(ANIME_ERROR_TEXTURE_REFUSED,
                 "an instance was created, but the host refused a texture: parts showing it are "
                 "not drawn");
}

uint32_t NextFreeId(AnimeManager& manager) {
    // Skip 0 (the failure value) and ids still live once the counter wraps.
    uint32_t id = manager.nextInstanceId;
    while (id == 0 || manager.instances.contains(id)) {
        ++id;
    }
    return id;
}

}  // namespace

uint32_t CreateInstance(AnimeManager& manager, const std::string& modelName) {
    auto it = manager.modelCache.find(modelName);
    if (it == manager.modelCache.end()) {
        SetLastError(ANIME_ERROR_UNKNOWN_MODEL,
                     "no model named " + Quoted(modelName) + " is loaded");
        return 0;
    }
    AnimeInstance instance;
    instance.model = it->second;
    instance.host = manager.callbacks;
    instance.drawMesh = manager.drawMesh;
    const uint32_t id = NextFreeId(manager);
    // Make room in the table first, so that nothing can fail once the host
    // has handed out texture handles.
    manager.instances.reserve(manager.instances.size() + 1);
    size_t refused = 0;
    size_t firstRefused = 0;
    try {
        refused = LoadTextures(instance, firstRefused);
        InitializeInstanceState(instance, manager.updateWorkers.scratch[0]);
        // Every worker's room, and the room the draw pass places meshes in.
        const ModelTopology& topology = instance.model->topology;
        const size_t parts = instance.model->parts.size();
        manager.updateWorkers.reserve(parts, instance.model->physics.size(),
                                      topology.meshes.vertexCount(), manager.instances.size() + 1);
        // The clip's room even without a mesh function: Anime_GetPartMesh
        // clips there too.
        manager.renderFrame.reserve(
            parts, instance.drawMesh != nullptr ? topology.meshes.vertexCount() : 0,
            topology.drawFlags.room);
        // A render lists every instance: room for one more now, not in the
        // next frame (growing as push_back would).
        auto& order = manager.renderFrame.order;
        if (order.capacity() < manager.instances.size() + 1) {
            order.reserve(std::max(order.capacity() * 2, manager.instances.size() + 1));
        }
    } catch (...) {
        TeardownInstance(instance);
        throw;
    }
    AnimeInstance& added = manager.instances.add(id, std::move(instance));
    manager.nextInstanceId = id + 1;
    try {
        // Room for the laps and ends its frames announce; without it the
        // first frames that need the room make it.
        manager.events.reserve(manager.instances.size());
    } catch (const std::bad_alloc&) {
    }
    if (refused > 0) {
        NoteRefusedTextures(added, id, refused, firstRefused);
    }
    return id;
}

AnimeInstance* FindInstance(AnimeManager& manager, uint32_t id) {
    return manager.instances.find(id);
}

void DestroyInstance(AnimeManager& manager, uint32_t id) {
    if (AnimeInstance* instance = manager.instances.find(id)) {
        TeardownInstance(*instance);
        manager.instances.erase(id);
    }
}

void DestroyAllInstances(AnimeManager& manager) {
    for (InstanceTable::Slot& slot : manager.instances) {
        TeardownInstance(slot.instance);
    }
    manager.instances.clear();
}

void DestroyInstancesOf(AnimeManager& manager, const std::string& modelName) {
    // Every instance holds the model cached under its name (unloading a name
    // destroys its instances first), so the model tells them apart.
    auto cached = manager.modelCache.find(modelName);
    if (cached == manager.modelCache.end()) {
        return;
    }
    const AnimeModel* model = cached->second.get();
    for (InstanceTable::Slot& slot : manager.instances) {
        if (slot.instance.model.get() == model) {
            TeardownInstance(slot.instance);
        }
    }
    // Teardown left their model null.
    manager.instances.eraseIf([](const AnimeInstance& instance) { return !instance.model; });
}

std::string ModelNameOf(const AnimeManager& manager, uint32_t id) {
    const AnimeInstance* instance = manager.instances.find(id);
    if (instance != nullptr) {
        for (const auto& [name, model] : manager.modelCache) {
            if (model == instance->model) {
                return name;
            }
        }
    }
    return std::string();
}

}  // namespace kivanime
