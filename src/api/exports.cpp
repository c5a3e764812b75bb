// The exported C functions. Each is a thin shell: reject NULL strings, take
// the lock, find the model or instance, hand the work on, return a plain
// value. Nothing escapes as an exception: any failure returns the export's
// failure value. Every call leaves this thread's last error saying why it
// failed, or empty.
#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "api/last_error.h"
#include "api/manager.h"
#include "api/model_cache.h"
#include "kivanime.h"
#include "render/draw_pass.h"
#include "runtime/anime_instance.h"
#include "runtime/expression_blend.h"
#include "runtime/motion_player.h"
#include "runtime/physics.h"

using namespace kivanime;

namespace {

constexpr std::string_view kNestedCall =
    "refused: a host function (loadTexture, releaseTexture or draw) called back into the "
    "library, which is busy with the call that runs it";

// Inside a catch block: records what was thrown.
void RecordCurrentException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        SetLastError("out of memory");
    } catch (...) {
        SetLastError("unexpected internal failure");
    }
}

int32_t Fail(std::string_view reason) {
    SetLastError(reason);
    return 0;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// For messages about an instance's model: the name it was created from.
std::string ModelNameOf(uint32_t id) {
    const AnimeManager& m = GetManager();
    auto it = m.instanceModelNames.find(id);
    return it == m.instanceModelNames.end() ? std::string() : it->second;
}

// Failure of a lookup by name in an instance's model.
int32_t NoSuch(uint32_t id, const char* what, std::string_view name) {
    return Fail("model " + Quoted(ModelNameOf(id)) + " (instance " + std::to_string(id) +
                ") has no " + what + " named " + Quoted(name));
}

// Runs `fn(instance)` under the lock when the id names an instance; returns
// `fn`'s result, or `failure`.
template <typename R, typename Fn>
R WithInstance(uint32_t id, R failure, Fn&& fn) {
    try {
        ApiScope scope;
        if (!scope.entered()) {
            SetNestedRefusal(kNestedCall);
            return failure;
        }
        AnimeInstance* instance = FindInstance(scope.manager(), id);
        if (instance == nullptr) {
            SetLastError("no instance with id " + std::to_string(id));
            return failure;
        }
        ClearLastError();
        R result = fn(*instance);
        ForgetNestedRefusal();
        return result;
    } catch (...) {
        RecordCurrentException();
        return failure;
    }
}

template <typename Fn>
void WithInstanceVoid(uint32_t id, Fn&& fn) {
    WithInstance(id, 0, [&](AnimeInstance& instance) {
        fn(instance);
        return 0;
    });
}

template <typename R, typename Fn>
R WithManager(R failure, Fn&& fn) {
    try {
        ApiScope scope;
        if (!scope.entered()) {
            SetNestedRefusal(kNestedCall);
            return failure;
        }
        ClearLastError();
        R result = fn(scope.manager());
        ForgetNestedRefusal();
        return result;
    } catch (...) {
        RecordCurrentException();
        return failure;
    }
}

template <typename Fn>
void WithManagerVoid(Fn&& fn) {
    WithManager(0, [&](AnimeManager& manager) {
        fn(manager);
        return 0;
    });
}

// The checks of the loads from memory, before anything else.
bool MemoryArgumentsOk(const char* modelName, const char* json, int32_t length) {
    const char* reason = modelName == nullptr ? "modelName is NULL"
                         : json == nullptr    ? "json is NULL"
                         : length < 0         ? "length is negative"
                                              : nullptr;
    if (reason != nullptr) {
        SetLastError(reason);
    }
    return reason == nullptr;
}

template <typename Load>
int32_t LoadRecordFromMemory(const char* modelName, const char* json, int32_t length, Load load) {
    if (!MemoryArgumentsOk(modelName, json, length)) {
        return 0;
    }
    try {
        std::string name(modelName);
        const std::string_view text(json, static_cast<size_t>(length));
        return WithManager(0, [&](AnimeManager& m) { return load(m, name, text) ? 1 : 0; });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

bool WindOn(float x, float y) {
    // NaN counts as a wind that is not zero.
    return x != 0.0f || y != 0.0f;
}

float ClampAlpha(float alpha) {
    const float a = alpha < 1.0f ? alpha : 1.0f;
    return a > 0.0f ? a : 0.0f;  // NaN ends as 1 through the first step
}

float AtLeast(float floor, float v) {
    return floor > v ? floor : v;
}

}  // namespace

extern "C" {

ANIME_API void Anime_Init(const AnimeHostCallbacks* callbacks) {
    WithManagerVoid([&](AnimeManager& manager) {
        manager.callbacks = callbacks ? *callbacks : AnimeHostCallbacks{};
    });
}

ANIME_API void Anime_Shutdown(void) {
    WithManagerVoid([](AnimeManager& m) { Shutdown(m); });
}

ANIME_API void Anime_UnloadAll(void) {
    Anime_Shutdown();
}

ANIME_API int32_t Anime_LoadModel(const char* modelName, const char* path) {
    if (modelName == nullptr || path == nullptr) {
        return Fail(modelName == nullptr ? "modelName is NULL" : "path is NULL");
    }
    try {
        std::string name(modelName);
        std::string file(path);
        return WithManager(0, [&](AnimeManager& m) { return LoadModel(m, name, file) ? 1 : 0; });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

ANIME_API void Anime_UnloadModel(const char* modelName) {
    if (modelName == nullptr) {
        SetLastError("modelName is NULL");
        return;
    }
    try {
        std::string name(modelName);
        WithManagerVoid([&](AnimeManager& m) { UnloadModel(m, name); });
    } catch (...) {
        RecordCurrentException();
    }
}

ANIME_API int32_t Anime_LoadMotion(const char* modelName, const char* path) {
    if (modelName == nullptr || path == nullptr) {
        return Fail(modelName == nullptr ? "modelName is NULL" : "path is NULL");
    }
    try {
        std::string name(modelName);
        std::string file(path);
        return WithManager(0, [&](AnimeManager& m) { return LoadMotion(m, name, file) ? 1 : 0; });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

ANIME_API int32_t Anime_LoadExpression(const char* modelName, const char* path) {
    if (modelName == nullptr || path == nullptr) {
        return Fail(modelName == nullptr ? "modelName is NULL" : "path is NULL");
    }
    try {
        std::string name(modelName);
        std::string file(path);
        return WithManager(0,
                           [&](AnimeManager& m) { return LoadExpression(m, name, file) ? 1 : 0; });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

ANIME_API uint32_t Anime_CreateInstance(const char* modelName) {
    if (modelName == nullptr) {
        return Fail("modelName is NULL");
    }
    try {
        std::string name(modelName);
        return WithManager(0u, [&](AnimeManager& m) { return CreateInstance(m, name); });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

ANIME_API void Anime_DestroyInstance(uint32_t id) {
    WithManagerVoid([&](AnimeManager& m) { DestroyInstance(m, id); });
}

ANIME_API void Anime_DestroyAllInstances(void) {
    WithManagerVoid([](AnimeManager& m) { DestroyAllInstances(m); });
}

ANIME_API int32_t Anime_GetInstanceCount(void) {
    return WithManager(0, [](AnimeManager& m) { return static_cast<int32_t>(m.instances.size()); });
}

ANIME_API int32_t Anime_HasInstances(void) {
    return WithManager(0, [](AnimeManager& m) { return m.instances.empty() ? 0 : 1; });
}

ANIME_API int32_t Anime_PlayMotion(uint32_t id, const char* motionName, float speed) {
    if (motionName == nullptr) {
        return Fail("motionName is NULL");
    }
    try {
        std::string name(motionName);
        return WithInstance(id, 0, [&](AnimeInstance& inst) {
            return inst.model && PlayMotion(inst.player, *inst.model, name, speed)
                       ? 1
                       : NoSuch(id, "motion", name);
        });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

ANIME_API void Anime_StopMotion(uint32_t id) {
    WithInstanceVoid(id, [](AnimeInstance& inst) { StopMotion(inst.player); });
}

ANIME_API int32_t Anime_IsMotionPlaying(uint32_t id) {
    return WithInstance(id, 0, [](AnimeInstance& inst) { return inst.player.playing ? 1 : 0; });
}

ANIME_API int32_t Anime_IsMotionFinished(uint32_t id) {
    return WithInstance(id, 0, [](AnimeInstance& inst) { return inst.player.finished ? 1 : 0; });
}

ANIME_API int32_t Anime_PlayOverlay(uint32_t id, const char* motionName, float speed,
                                    float weight) {
    if (motionName == nullptr) {
        return Fail("motionName is NULL");
    }
    try {
        std::string name(motionName);
        return WithInstance(id, 0, [&](AnimeInstance& inst) {
            return inst.model && PlayOverlay(inst.player, *inst.model, name, speed, weight)
                       ? 1
                       : NoSuch(id, "motion", name);
        });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

ANIME_API void Anime_StopOverlay(uint32_t id, const char* motionName) {
    if (motionName == nullptr) {
        SetLastError("motionName is NULL");
        return;
    }
    try {
        std::string name(motionName);
        WithInstanceVoid(id, [&](AnimeInstance& inst) { StopOverlay(inst.player, name); });
    } catch (...) {
        RecordCurrentException();
    }
}

ANIME_API void Anime_StopAllOverlays(uint32_t id) {
    WithInstanceVoid(id, [](AnimeInstance& inst) { StopAllOverlays(inst.player); });
}

ANIME_API int32_t Anime_SetExpression(uint32_t id, const char* expressionName) {
    if (expressionName == nullptr) {
        return Fail("expressionName is NULL");
    }
    try {
        std::string name(expressionName);
        return WithInstance(id, 0, [&](AnimeInstance& inst) {
            const AnimeExpression* expression =
                inst.model ? inst.model->findExpression(name) : nullptr;
            if (expression == nullptr) {
                return NoSuch(id, "expression", name);
            }
            SetExpression(inst.player.expression, *expression);
            return 1;
        });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

ANIME_API void Anime_ClearExpression(uint32_t id) {
    WithInstanceVoid(id, [](AnimeInstance& inst) { ClearExpression(inst.player.expression); });
}

ANIME_API void Anime_SetPosition(uint32_t id, float x, float y) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) {
        inst.x = x;
        inst.y = y;
    });
}

ANIME_API void Anime_GetPosition(uint32_t id, float* outX, float* outY) {
    float x = 0.0f;
    float y = 0.0f;
    WithInstanceVoid(id, [&](AnimeInstance& inst) {
        x = inst.x;
        y = inst.y;
    });
    // Written after the lock is released.
    if (outX != nullptr) {
        *outX = x;
    }
    if (outY != nullptr) {
        *outY = y;
    }
}

ANIME_API void Anime_SetScale(uint32_t id, float scaleX, float scaleY) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) {
        inst.scaleX = scaleX;
        inst.scaleY = scaleY;
    });
}

ANIME_API void Anime_SetAlpha(uint32_t id, float alpha) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) { inst.alpha = ClampAlpha(alpha); });
}

ANIME_API void Anime_SetVisible(uint32_t id, int32_t visible) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) { inst.visible = visible != 0; });
}

ANIME_API void Anime_SetDrawOrder(uint32_t id, int32_t order) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) { inst.drawOrder = order; });
}

ANIME_API void Anime_SetWind(uint32_t id, float windX, float windY) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) {
        inst.physics.windX = windX;
        inst.physics.windY = windY;
    });
}

ANIME_API void Anime_SetGlobalWind(float windX, float windY) {
    WithManagerVoid([&](AnimeManager& m) {
        m.globalWindX = windX;
        m.globalWindY = windY;
    });
}

ANIME_API void Anime_ResetPhysics(uint32_t id) {
    WithInstanceVoid(id, [](AnimeInstance& inst) { ResetPhysics(inst.physics); });
}

ANIME_API void Anime_Set3DSetup(uint32_t id, int32_t enabled3D, float pivotX, float pivotY,
                                float focalDistance, float curveRadiusX, float curveRadiusY) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) {
        Parallax3D& p = inst.parallax;
        p.enabled3D = enabled3D != 0;
        p.pivotX = pivotX;
        p.pivotY = pivotY;
        p.focalDistance = AtLeast(50.0f, focalDistance);
        p.curveRadiusX = AtLeast(0.0f, curveRadiusX);
        p.curveRadiusY = AtLeast(0.0f, curveRadiusY);
    });
}

ANIME_API void Anime_Set3DAngles(uint32_t id, float yaw, float pitch, float roll) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) {
        inst.parallax.yaw = yaw;
        inst.parallax.pitch = pitch;
        inst.parallax.roll = roll;
    });
}

ANIME_API void Anime_Set3DStrength(uint32_t id, float depthStrength, float perspectiveStrength) {
    WithInstanceVoid(id, [&](AnimeInstance& inst) {
        inst.parallax.depthStrength = AtLeast(0.0f, depthStrength);
        inst.parallax.perspectiveStrength = AtLeast(0.0f, perspectiveStrength);
    });
}

ANIME_API void Anime_Update(float dt) {
    WithManagerVoid([&](AnimeManager& m) {
        // Fetch ahead as the render does: the poses of the next instance and
        // the record of the one after it.
        const auto end = m.instances.end();
        auto ahead1 = m.instances.begin();
        if (ahead1 != end) {
            ++ahead1;
        }
        auto ahead2 = ahead1;
        if (ahead2 != end) {
            ++ahead2;
        }
        for (auto& entry : m.instances) {
            if (ahead2 != end) {
                PrefetchInstance(*ahead2->second);
                ++ahead2;
            }
            if (ahead1 != end) {
                PrefetchPoses(*ahead1->second);
                ++ahead1;
            }
            AnimeInstance& inst = *entry.second;
            // The global wind acts during the update only. The instance's own
            // wind is put back exactly afterwards rather than recomputed by
            // subtraction, which in floating point would corrupt it.
            const float ownX = inst.physics.windX;
            const float ownY = inst.physics.windY;
            const bool wind = WindOn(m.globalWindX, m.globalWindY);
            if (wind) {
                inst.physics.windX = m.globalWindX + ownX;
                inst.physics.windY = m.globalWindY + ownY;
            }
            UpdateInstance(inst, dt);
            if (wind) {
                inst.physics.windX = ownX;
                inst.physics.windY = ownY;
            }
        }
    });
}

ANIME_API void Anime_Render(void) {
    WithManagerVoid([](AnimeManager& m) {
        auto& list = m.renderList;
        list.clear();
        for (auto& entry : m.instances) {
            if (entry.second->visible) {
                list.push_back({entry.second->drawOrder, entry.first, entry.second.get()});
            }
        }
        // Equal draw orders may come in any order; keeping them in id order
        // makes frames reproducible.
        std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
            return a.drawOrder != b.drawOrder ? a.drawOrder < b.drawOrder : a.id < b.id;
        });
        for (size_t k = 0; k < list.size(); ++k) {
            // Fetch ahead: the next instance's poses, and the instance after
            // it, whose fields say where its poses are.
            if (k + 2 < list.size()) {
                PrefetchInstance(*list[k + 2].instance);
            }
            if (k + 1 < list.size()) {
                PrefetchPoses(*list[k + 1].instance);
            }
            const auto& entry = list[k];
            if (entry.instance->model && entry.instance->visible) {
                DrawInstance(*entry.instance);
            }
        }
    });
}

ANIME_API int32_t Anime_GetVersion(void) {
    return KIVANIME_VERSION;
}

ANIME_API const char* Anime_GetLastError(void) {
    return LastErrorText();
}

ANIME_API int32_t Anime_LoadModelFromMemory(const char* modelName, const char* json, int32_t length,
                                            const char* baseDir) {
    if (!MemoryArgumentsOk(modelName, json, length)) {
        return 0;
    }
    try {
        std::string name(modelName);
        // The folder the texture paths are relative to, ending in a separator
        // as a model file's folder does.
        std::string dir(baseDir != nullptr ? baseDir : "");
        if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') {
            dir.push_back('/');
        }
        const std::string_view text(json, static_cast<size_t>(length));
        return WithManager(0, [&](AnimeManager& m) {
            return LoadModelText(m, name, text, dir, "memory") ? 1 : 0;
        });
    } catch (...) {
        RecordCurrentException();
        return 0;
    }
}

ANIME_API int32_t Anime_LoadMotionFromMemory(const char* modelName, const char* json,
                                             int32_t length) {
    return LoadRecordFromMemory(modelName, json, length, LoadMotionText);
}

ANIME_API int32_t Anime_LoadExpressionFromMemory(const char* modelName, const char* json,
                                                 int32_t length) {
    return LoadRecordFromMemory(modelName, json, length, LoadExpressionText);
}

ANIME_API void Anime_RenderInstance(uint32_t id) {
    WithInstanceVoid(id, [](AnimeInstance& inst) {
        if (inst.model && inst.visible) {
            DrawInstance(inst);
        }
    });
}

ANIME_API int32_t Anime_GetPartTransform(uint32_t id, const char* partName, float out[6]) {
    if (partName == nullptr || out == nullptr) {
        return Fail(partName == nullptr ? "partName is NULL" : "out is NULL");
    }
    // Read in place, not copied: this runs every frame and allocates nothing.
    const std::string_view name(partName);
    AnimeDrawParams p{};
    const int32_t found = WithInstance(id, 0, [&](AnimeInstance& inst) {
        const int32_t index = inst.model ? inst.model->findPart(name) : -1;
        if (index < 0 || static_cast<size_t>(index) >= inst.poses.size()) {
            return NoSuch(id, "part", name);
        }
        p = PartDrawParams(inst, static_cast<size_t>(index));
        return 1;
    });
    if (found != 0) {
        out[0] = p.x;
        out[1] = p.y;
        out[2] = p.rotation;
        out[3] = p.scaleX;
        out[4] = p.scaleY;
        out[5] = p.alpha;
    }
    return found;
}

}  // extern "C"
