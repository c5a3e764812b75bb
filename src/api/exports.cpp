// The exported C functions. Each is a thin shell: reject NULL strings, take
// the lock, find the model or instance, hand the work on, return a plain
// value. Nothing escapes as an exception: any failure returns the export's
// failure value. Every call leaves this thread's last error saying why it
// failed, or empty.
#include <cmath>
#include <exception>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "api/instance_registry.h"
#include "api/last_error.h"
#include "api/manager.h"
#include "api/model_cache.h"
#include "kivanime.h"
#include "model/expression_loader.h"
#include "model/motion_loader.h"
#include "render/draw_pass.h"
#include "render/render_frame.h"
#include "runtime/anime_instance.h"
#include "runtime/expression_blend.h"
#include "runtime/instance_update.h"
#include "runtime/motion_player.h"
#include "runtime/parameter_drivers.h"
#include "runtime/parameter_values.h"
#include "runtime/part_offsets.h"
#include "runtime/physics.h"
#include "runtime/texture_swaps.h"
#include "runtime/tint.h"

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
        SetLastError(ANIME_ERROR_OUT_OF_MEMORY, "out of memory");
    } catch (const std::out_of_range&) {
        SetLastError(ANIME_ERROR_INTERNAL,
                     "the task system gave a worker index at or above its worker count");
    } catch (...) {
        SetLastError(ANIME_ERROR_INTERNAL, "unexpected internal failure");
    }
}

int32_t Fail(AnimeErrorCode code, std::string_view reason) {
    SetLastError(code, reason);
    return 0;
}

// What a lookup by name in a model failed to find, for its message.
const char* LookedFor(AnimeErrorCode code) {
    switch (code) {
        case ANIME_ERROR_UNKNOWN_MOTION:
            return "motion";
        case ANIME_ERROR_UNKNOWN_EXPRESSION:
            return "expression";
        case ANIME_ERROR_UNKNOWN_PART:
            return "part";
        case ANIME_ERROR_UNKNOWN_TEXTURE:
            return "texture";
        case ANIME_ERROR_UNKNOWN_SKIN:
            return "skin";
        case ANIME_ERROR_UNKNOWN_PARAMETER:
            return "parameter";
        default:
            return "name";
    }
}

// Failure of a lookup by name in an instance's model; `code` tells what was
// looked for.
int32_t NoSuch(const AnimeManager& m, uint32_t id, AnimeErrorCode code, std::string_view name) {
    return Fail(code, "model " + Quoted(ModelNameOf(m, id)) + " (instance " + std::to_string(id) +
                          ") has no " + LookedFor(code) + " named " + Quoted(name));
}

// An event index out of the last update's list.
int32_t NoEvent(const AnimeManager& m, int32_t index) {
    return Fail(ANIME_ERROR_NO_EVENT, "no event at index " + std::to_string(index) +
                                          " (the last update has " +
                                          std::to_string(m.events.size()) + ")");
}

// A string argument and the last error it gives when NULL.
struct TextArgument {
    const char* text;
    const char* nullError;
};

// The NULL checks that come before anything else: the first NULL argument
// fails the call with its message.
bool Given(std::initializer_list<TextArgument> arguments) {
    for (const TextArgument& argument : arguments) {
        if (argument.text == nullptr) {
            SetLastError(ANIME_ERROR_INVALID_ARGUMENT, argument.nullError);
            return false;
        }
    }
    return true;
}

// Runs `fn(manager)` under the lock and returns its result. A nested call
// from a host function, or anything thrown, gives `failure` (and the last
// error says why).
template <typename R, typename Fn>
R Locked(R failure, Fn&& fn) noexcept {
    try {
        ApiScope scope;
        if (!scope.entered()) {
            SetNestedRefusal(kNestedCall);
            return failure;
        }
        R result = fn(scope.manager());
        ForgetNestedRefusal();
        return result;
    } catch (...) {
        RecordCurrentException();
        return failure;
    }
}

// As Locked, with the last error cleared first, so that it ends empty unless
// `fn` records a failure.
template <typename R, typename Fn>
R WithManager(R failure, Fn&& fn) noexcept {
    return Locked(failure, [&](AnimeManager& m) {
        ClearLastError();
        return fn(m);
    });
}

// Runs `fn()` without the lock: anything thrown gives `failure`.
template <typename R, typename Fn>
R Unlocked(R failure, Fn&& fn) noexcept {
    try {
        return fn();
    } catch (...) {
        RecordCurrentException();
        return failure;
    }
}

template <typename Fn>
void WithManager(Fn&& fn) noexcept {
    WithManager(0, [&](AnimeManager& m) {
        fn(m);
        return 0;
    });
}

// As WithManager, with `fn(manager, instance)` run only when the id names an
// instance.
template <typename R, typename Fn>
R WithInstance(uint32_t id, R failure, Fn&& fn) noexcept {
    return WithManager(failure, [&](AnimeManager& m) {
        AnimeInstance* instance = FindInstance(m, id);
        if (instance == nullptr) {
            SetLastError(ANIME_ERROR_UNKNOWN_INSTANCE, "no instance with id " + std::to_string(id));
            return failure;
        }
        return fn(m, *instance);
    });
}

template <typename Fn>
void WithInstance(uint32_t id, Fn&& fn) noexcept {
    WithInstance(id, 0, [&](AnimeManager&, AnimeInstance& instance) {
        fn(instance);
        return 0;
    });
}

// The checks of the loads from memory, before anything else.
bool MemoryArgumentsOk(const char* modelName, const char* json, int32_t length) {
    if (!Given({{modelName, "modelName is NULL"}, {json, "json is NULL"}})) {
        return false;
    }
    if (length < 0) {
        SetLastError(ANIME_ERROR_INVALID_ARGUMENT, "length is negative");
        return false;
    }
    return true;
}

int32_t Succeeded(bool ok) {
    return ok ? 1 : 0;
}

// A model load whose reading and parsing (`read()`, giving the model or
// null) run with the lock released, so that frames on other threads go on
// meanwhile: a cached name is not read again, and the lock is taken again
// only to store.
template <typename Read>
int32_t LoadModelOutsideLock(const char* modelName, Read&& read) noexcept {
    const int32_t cached =
        WithManager(-1, [&](AnimeManager& m) { return IsModelCached(m, modelName) ? 1 : 0; });
    if (cached != 0) {
        return cached > 0 ? 1 : 0;
    }
    std::shared_ptr<AnimeModel> model = Unlocked(std::shared_ptr<AnimeModel>(), read);
    return Locked(0, [&](AnimeManager& m) { return Succeeded(StoreModel(m, modelName, model)); });
}

// The same for a motion or an expression (`Record`): the model is found
// under the lock, `read(model, record)` runs without it and `store(model,
// record)` under it.
template <typename Record, typename Read, typename Store>
int32_t LoadRecordOutsideLock(const char* modelName, Read&& read, Store&& store) noexcept {
    const std::shared_ptr<AnimeModel> model =
        WithManager(std::shared_ptr<AnimeModel>(),
                    [&](AnimeManager& m) { return ModelToLoadInto(m, modelName); });
    if (!model) {
        return 0;
    }
    std::optional<Record> record;
    const bool ok = Unlocked(false, [&] { return read(*model, modelName, record.emplace()); });
    if (!ok) {
        return 0;
    }
    return Locked(0, [&](AnimeManager&) {
        store(*model, std::move(*record));
        return 1;
    });
}

// The index of the named part in the instance's model, or -1 with the
// reason recorded.
int32_t PartOf(const AnimeManager& m, uint32_t id, const AnimeInstance& inst,
               std::string_view name) {
    const int32_t index = inst.model ? inst.model->findPart(name) : -1;
    if (index < 0 || static_cast<size_t>(index) >= inst.poses.size()) {
        NoSuch(m, id, ANIME_ERROR_UNKNOWN_PART, name);
        return -1;
    }
    return index;
}

// The index of the named parameter in the instance's model, or -1 with the
// reason recorded.
int32_t ParameterOf(const AnimeManager& m, uint32_t id, const AnimeInstance& inst,
                    std::string_view name) {
    const int32_t index = inst.model ? inst.model->parameters.find(name) : -1;
    if (index < 0 || static_cast<size_t>(index) >= inst.parameters.host.size()) {
        NoSuch(m, id, ANIME_ERROR_UNKNOWN_PARAMETER, name);
        return -1;
    }
    return index;
}

// The checks every driver setting makes before the lock: a name, and finite
// numbers.
bool DriverArgumentsOk(const char* name, std::initializer_list<float> numbers) {
    if (!Given({{name, "name is NULL"}})) {
        return false;
    }
    for (const float n : numbers) {
        if (!std::isfinite(n)) {
            SetLastError(ANIME_ERROR_INVALID_ARGUMENT, "a driver setting is not finite");
            return false;
        }
    }
    return true;
}

// Runs `fn(instance, parameter index)` for the named parameter of the
// instance; 0 with the reason when either is unknown.
template <typename Fn>
int32_t WithParameter(uint32_t id, const char* name, Fn&& fn) noexcept {
    // Read in place: a game may set a parameter every frame.
    const std::string_view wanted(name);
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        const int32_t index = ParameterOf(m, id, inst, wanted);
        if (index < 0) {
            return 0;
        }
        fn(inst, index);
        return 1;
    });
}

// Cross-fading to or queueing a motion of the instance's model by name.
int32_t MainMotionCall(uint32_t id, const char* motionName, float speed, float fadeMs,
                       bool (*start)(MotionPlayer&, const AnimeModel&, std::string_view, float,
                                     float, FadeScratch&)) {
    if (!Given({{motionName, "motionName is NULL"}})) {
        return 0;
    }
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        return inst.model && start(inst.player, *inst.model, motionName, speed, fadeMs,
                                   m.updateWorkers.scratch[0].fade)
                   ? 1
                   : NoSuch(m, id, ANIME_ERROR_UNKNOWN_MOTION, motionName);
    });
}

}  // namespace

extern "C" {

ANIME_API void Anime_Init(const AnimeHostCallbacks* callbacks) {
    WithManager(
        [&](AnimeManager& m) { m.callbacks = callbacks ? *callbacks : AnimeHostCallbacks{}; });
}

ANIME_API void Anime_Shutdown(void) {
    WithManager([](AnimeManager& m) { Shutdown(m); });
}

ANIME_API void Anime_UnloadAll(void) {
    Anime_Shutdown();
}

ANIME_API int32_t Anime_LoadModel(const char* modelName, const char* path) {
    if (!Given({{modelName, "modelName is NULL"}, {path, "path is NULL"}})) {
        return 0;
    }
    return LoadModelOutsideLock(modelName, [&] { return ReadModelFile(modelName, path); });
}

ANIME_API void Anime_UnloadModel(const char* modelName) {
    if (Given({{modelName, "modelName is NULL"}})) {
        std::shared_ptr<AnimeModel> dropped;  // freed after the lock is given back
        WithManager([&](AnimeManager& m) { dropped = UnloadModel(m, modelName); });
    }
}

ANIME_API int32_t Anime_LoadMotion(const char* modelName, const char* path) {
    if (!Given({{modelName, "modelName is NULL"}, {path, "path is NULL"}})) {
        return 0;
    }
    return LoadRecordOutsideLock<AnimeMotion>(
        modelName,
        [&](const AnimeModel& model, const std::string& name, AnimeMotion& motion) {
            return ReadMotionFile(model, name, path, motion);
        },
        StoreMotion);
}

ANIME_API int32_t Anime_LoadExpression(const char* modelName, const char* path) {
    if (!Given({{modelName, "modelName is NULL"}, {path, "path is NULL"}})) {
        return 0;
    }
    return LoadRecordOutsideLock<AnimeExpression>(
        modelName,
        [&](const AnimeModel& model, const std::string& name, AnimeExpression& expression) {
            return ReadExpressionFile(model, name, path, expression);
        },
        StoreExpression);
}

ANIME_API uint32_t Anime_CreateInstance(const char* modelName) {
    if (!Given({{modelName, "modelName is NULL"}})) {
        return 0;
    }
    return WithManager(0u, [&](AnimeManager& m) { return CreateInstance(m, modelName); });
}

ANIME_API void Anime_DestroyInstance(uint32_t id) {
    WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance&) {
        DestroyInstance(m, id);
        return 0;
    });
}

ANIME_API void Anime_DestroyAllInstances(void) {
    WithManager([](AnimeManager& m) { DestroyAllInstances(m); });
}

ANIME_API int32_t Anime_GetInstanceCount(void) {
    return WithManager(0, [](AnimeManager& m) { return static_cast<int32_t>(m.instances.size()); });
}

ANIME_API int32_t Anime_HasInstances(void) {
    return WithManager(0, [](AnimeManager& m) { return m.instances.empty() ? 0 : 1; });
}

ANIME_API int32_t Anime_PlayMotion(uint32_t id, const char* motionName, float speed) {
    if (!Given({{motionName, "motionName is NULL"}})) {
        return 0;
    }
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        return inst.model && PlayMotion(inst.player, *inst.model, motionName, speed)
                   ? 1
                   : NoSuch(m, id, ANIME_ERROR_UNKNOWN_MOTION, motionName);
    });
}

ANIME_API void Anime_StopMotion(uint32_t id) {
    WithInstance(id, [](AnimeInstance& inst) { StopMotion(inst.player); });
}

ANIME_API int32_t Anime_IsMotionPlaying(uint32_t id) {
    return WithInstance(
        id, 0, [](AnimeManager&, AnimeInstance& inst) { return inst.player.main.playing ? 1 : 0; });
}

ANIME_API int32_t Anime_IsMotionFinished(uint32_t id) {
    return WithInstance(
        id, 0, [](AnimeManager&, AnimeInstance& inst) { return inst.player.finished ? 1 : 0; });
}

ANIME_API int32_t Anime_PlayOverlay(uint32_t id, const char* motionName, float speed,
                                    float weight) {
    if (!Given({{motionName, "motionName is NULL"}})) {
        return 0;
    }
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        return inst.model && PlayOverlay(inst.player, *inst.model, motionName, speed, weight)
                   ? 1
                   : NoSuch(m, id, ANIME_ERROR_UNKNOWN_MOTION, motionName);
    });
}

ANIME_API void Anime_StopOverlay(uint32_t id, const char* motionName) {
    if (Given({{motionName, "motionName is NULL"}})) {
        WithInstance(id, [&](AnimeInstance& inst) { StopOverlay(inst.player, motionName); });
    }
}

ANIME_API void Anime_StopAllOverlays(uint32_t id) {
    WithInstance(id, [](AnimeInstance& inst) { StopAllOverlays(inst.player); });
}

ANIME_API int32_t Anime_SetExpression(uint32_t id, const char* expressionName) {
    if (!Given({{expressionName, "expressionName is NULL"}})) {
        return 0;
    }
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        return inst.model && SetExpression(inst.expression, *inst.model, expressionName)
                   ? 1
                   : NoSuch(m, id, ANIME_ERROR_UNKNOWN_EXPRESSION, expressionName);
    });
}

ANIME_API void Anime_ClearExpression(uint32_t id) {
    WithInstance(id, [](AnimeInstance& inst) { ClearExpression(inst.expression); });
}

ANIME_API void Anime_SetPosition(uint32_t id, float x, float y) {
    WithInstance(id, [&](AnimeInstance& inst) {
        inst.x = x;
        inst.y = y;
    });
}

ANIME_API void Anime_GetPosition(uint32_t id, float* outX, float* outY) {
    float x = 0.0f;
    float y = 0.0f;
    WithInstance(id, [&](AnimeInstance& inst) {
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
    WithInstance(id, [&](AnimeInstance& inst) {
        inst.scaleX = scaleX;
        inst.scaleY = scaleY;
    });
}

ANIME_API void Anime_SetAlpha(uint32_t id, float alpha) {
    WithInstance(id, [&](AnimeInstance& inst) { inst.alpha = ClampUnit(alpha); });
}

ANIME_API void Anime_SetVisible(uint32_t id, int32_t visible) {
    WithInstance(id, [&](AnimeInstance& inst) { inst.visible = visible != 0; });
}

ANIME_API void Anime_SetDrawOrder(uint32_t id, int32_t order) {
    WithInstance(id, [&](AnimeInstance& inst) { inst.drawOrder = order; });
}

ANIME_API void Anime_SetWind(uint32_t id, float windX, float windY) {
    WithInstance(id, [&](AnimeInstance& inst) {
        inst.physics.windX = windX;
        inst.physics.windY = windY;
    });
}

ANIME_API void Anime_SetGlobalWind(float windX, float windY) {
    WithManager([&](AnimeManager& m) {
        m.globalWindX = windX;
        m.globalWindY = windY;
    });
}

ANIME_API void Anime_ResetPhysics(uint32_t id) {
    WithInstance(id, [](AnimeInstance& inst) { ResetPhysics(inst.physics); });
}

ANIME_API void Anime_Set3DSetup(uint32_t id, int32_t enabled3D, float pivotX, float pivotY,
                                float focalDistance, float curveRadiusX, float curveRadiusY) {
    WithInstance(id, [&](AnimeInstance& inst) {
        SetParallaxSetup(inst.parallax, enabled3D != 0, pivotX, pivotY, focalDistance, curveRadiusX,
                         curveRadiusY);
    });
}

ANIME_API void Anime_Set3DAngles(uint32_t id, float yaw, float pitch, float roll) {
    WithInstance(id, [&](AnimeInstance& inst) {
        inst.parallax.yaw = yaw;
        inst.parallax.pitch = pitch;
        inst.parallax.roll = roll;
    });
}

ANIME_API void Anime_Set3DStrength(uint32_t id, float depthStrength, float perspectiveStrength) {
    WithInstance(id, [&](AnimeInstance& inst) {
        SetParallaxStrength(inst.parallax, depthStrength, perspectiveStrength);
    });
}

ANIME_API void Anime_Update(float dt) {
    WithManager([&](AnimeManager& m) {
        m.events.clear();
        UpdateInstances(m.instances, dt, m.globalWindX, m.globalWindY, m.updateWorkers, m.tasks,
                        m.events);
    });
}

ANIME_API void Anime_Render(void) {
    WithManager([](AnimeManager& m) { RenderInstances(m.instances, m.renderFrame, m.tasks); });
}

ANIME_API int32_t Anime_GetVersion(void) {
    return KIVANIME_VERSION;
}

ANIME_API const char* Anime_GetLastError(void) {
    return LastErrorText();
}

ANIME_API int32_t Anime_GetLastErrorCode(void) {
    return LastErrorCode();
}

ANIME_API int32_t Anime_LoadModelFromMemory(const char* modelName, const char* json, int32_t length,
                                            const char* baseDir) {
    if (!MemoryArgumentsOk(modelName, json, length)) {
        return 0;
    }
    const std::string_view text(json, static_cast<size_t>(length));
    return LoadModelOutsideLock(modelName, [&] {
        // The folder the texture paths are relative to, ending in a separator
        // as a model file's folder does.
        std::string dir(baseDir != nullptr ? baseDir : "");
        if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') {
            dir.push_back('/');
        }
        return ReadModelText(modelName, text, dir, "memory");
    });
}

ANIME_API int32_t Anime_LoadMotionFromMemory(const char* modelName, const char* json,
                                             int32_t length) {
    if (!MemoryArgumentsOk(modelName, json, length)) {
        return 0;
    }
    const std::string_view text(json, static_cast<size_t>(length));
    return LoadRecordOutsideLock<AnimeMotion>(
        modelName,
        [&](const AnimeModel& model, const std::string& name, AnimeMotion& motion) {
            return ReadMotionText(model, name, text, motion);
        },
        StoreMotion);
}

ANIME_API int32_t Anime_LoadExpressionFromMemory(const char* modelName, const char* json,
                                                 int32_t length) {
    if (!MemoryArgumentsOk(modelName, json, length)) {
        return 0;
    }
    const std::string_view text(json, static_cast<size_t>(length));
    return LoadRecordOutsideLock<AnimeExpression>(
        modelName,
        [&](const AnimeModel& model, const std::string& name, AnimeExpression& expression) {
            return ReadExpressionText(model, name, text, expression);
        },
        StoreExpression);
}

ANIME_API void Anime_RenderInstance(uint32_t id) {
    WithInstance(id, 0, [](AnimeManager& m, AnimeInstance& inst) {
        if (inst.model && inst.visible) {
            DrawInstance(inst, m.renderFrame.scratch);
        }
        return 0;
    });
}

ANIME_API int32_t Anime_GetPartTransform(uint32_t id, const char* partName, float out[6]) {
    if (!Given({{partName, "partName is NULL"}})) {
        return 0;
    }
    if (out == nullptr) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "out is NULL");
    }
    // Read in place, not copied: this runs every frame and allocates nothing.
    const std::string_view name(partName);
    AnimeDrawParams p{};
    const int32_t found = WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        const int32_t index = PartOf(m, id, inst, name);
        if (index < 0) {
            return 0;
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

ANIME_API int32_t Anime_CrossFadeMotion(uint32_t id, const char* motionName, float speed,
                                        float fadeMs) {
    return MainMotionCall(id, motionName, speed, fadeMs, CrossFadeMotion);
}

ANIME_API int32_t Anime_QueueMotion(uint32_t id, const char* motionName, float speed,
                                    float fadeMs) {
    return MainMotionCall(id, motionName, speed, fadeMs, QueueMotion);
}

ANIME_API int32_t Anime_FadeOverlay(uint32_t id, const char* motionName, float targetWeight,
                                    float fadeMs) {
    if (!Given({{motionName, "motionName is NULL"}})) {
        return 0;
    }
    return WithInstance(id, 0, [&](AnimeManager&, AnimeInstance& inst) {
        if (std::isnan(targetWeight)) {
            return Fail(ANIME_ERROR_INVALID_ARGUMENT, "targetWeight is NaN");
        }
        return FadeOverlay(inst.player, motionName, targetWeight, fadeMs)
                   ? 1
                   : Fail(ANIME_ERROR_OVERLAY_NOT_PLAYING, "instance " + std::to_string(id) +
                                                               " plays no overlay named " +
                                                               Quoted(motionName));
    });
}

ANIME_API int32_t Anime_GetEventCount(void) {
    return WithManager(0, [](AnimeManager& m) { return static_cast<int32_t>(m.events.size()); });
}

ANIME_API int32_t Anime_GetEvent(int32_t index, AnimeEvent* out) {
    if (out == nullptr) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "out is NULL");
    }
    AnimeEvent event{};
    const int32_t found = WithManager(0, [&](AnimeManager& m) {
        if (index < 0 || static_cast<size_t>(index) >= m.events.size()) {
            return NoEvent(m, index);
        }
        event = m.events.record(static_cast<size_t>(index));
        return 1;
    });
    // Written after the lock is released.
    if (found != 0) {
        *out = event;
    }
    return found;
}

ANIME_API const char* Anime_GetEventText(int32_t index, int32_t field) {
    return WithManager(static_cast<const char*>(nullptr), [&](AnimeManager& m) -> const char* {
        if (index < 0 || static_cast<size_t>(index) >= m.events.size()) {
            NoEvent(m, index);
            return nullptr;
        }
        const char* text = m.events.text(static_cast<size_t>(index), field);
        if (text == nullptr) {
            SetLastError(ANIME_ERROR_INVALID_ARGUMENT,
                         "field " + std::to_string(field) +
                             " is not a text of an event (0 name, 1 motion, 2 string)");
        }
        return text;
    });
}

ANIME_API int32_t Anime_SetPartOffset(uint32_t id, const char* partName, float x, float y,
                                      float rotation, float scaleX, float scaleY, float alpha) {
    if (!Given({{partName, "partName is NULL"}})) {
        return 0;
    }
    // Read in place: a look-at sets an offset every frame.
    const std::string_view name(partName);
    const PoseChannels offset{x, y, rotation, scaleX, scaleY, alpha};
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        const int32_t part = PartOf(m, id, inst, name);
        if (part < 0) {
            return 0;
        }
        SetPartOffset(inst.offsets, inst.poses.size(), part, offset);
        return 1;
    });
}

ANIME_API void Anime_ClearPartOffsets(uint32_t id) {
    WithInstance(id, [](AnimeInstance& inst) { ClearPartOffsets(inst.offsets); });
}

ANIME_API int32_t Anime_SetPartTexture(uint32_t id, const char* partName, const char* textureName) {
    if (!Given({{partName, "partName is NULL"}})) {
        return 0;
    }
    const std::string_view name(partName);
    const std::string_view texture(textureName != nullptr ? textureName : "");
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        const int32_t part = PartOf(m, id, inst, name);
        if (part < 0) {
            return 0;
        }
        // No name: the part's own texture.
        const int32_t index = texture.empty() ? -1 : inst.model->findTexture(texture);
        if (!texture.empty() && index < 0) {
            return NoSuch(m, id, ANIME_ERROR_UNKNOWN_TEXTURE, texture);
        }
        ShowPartTexture(inst, static_cast<size_t>(part), index);
        return 1;
    });
}

ANIME_API int32_t Anime_SetSkin(uint32_t id, const char* skinName) {
    const std::string_view name(skinName != nullptr ? skinName : "");
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        if (inst.model && name.empty()) {
            ShowOwnTextures(inst);  // no name: the model file's own textures
            return 1;
        }
        const AnimeSkin* skin = inst.model ? inst.model->findSkin(name) : nullptr;
        if (skin == nullptr) {
            return NoSuch(m, id, ANIME_ERROR_UNKNOWN_SKIN, name);
        }
        PutOnSkin(inst, *skin);
        return 1;
    });
}

ANIME_API void Anime_SetTint(uint32_t id, float r, float g, float b) {
    const TintColor color = ClampTint(r, g, b);
    WithInstance(id, [&](AnimeInstance& inst) {
        if (!inst.tint && IsWhiteTint(color)) {
            return;  // white on an instance never tinted: nothing changes
        }
        if (!inst.tint) {
            inst.tint = std::make_unique<Tint>();
        }
        SetInstanceTint(*inst.tint, inst.poses.size(), color);
    });
}

ANIME_API int32_t Anime_SetPartTint(uint32_t id, const char* partName, float r, float g, float b) {
    if (!Given({{partName, "partName is NULL"}})) {
        return 0;
    }
    const std::string_view name(partName);
    const TintColor color = ClampTint(r, g, b);
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        const int32_t part = PartOf(m, id, inst, name);
        if (part < 0) {
            return 0;
        }
        if (!inst.tint) {
            inst.tint = std::make_unique<Tint>();
        }
        SetPartTint(*inst.tint, inst.poses.size(), part, color);
        return 1;
    });
}

ANIME_API void Anime_SetMeshCallback(AnimeDrawMeshFn drawMesh) {
    WithManager([&](AnimeManager& m) { m.drawMesh = drawMesh; });
}

ANIME_API int32_t Anime_GetPartMesh(uint32_t id, const char* partName, AnimeMeshVertex* out,
                                    int32_t capacity) {
    if (!Given({{partName, "partName is NULL"}})) {
        return 0;
    }
    if (capacity < 0) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "capacity is negative");
    }
    if (out == nullptr && capacity > 0) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "out is NULL");
    }
    // Read in place, not copied: this may run every frame and allocates
    // nothing (but for the reason of a failure).
    const std::string_view name(partName);
    return WithInstance(id, 0, [&](AnimeManager& m, AnimeInstance& inst) {
        const int32_t index = inst.model ? inst.model->findPart(name) : -1;
        if (index < 0 || static_cast<size_t>(index) >= inst.poses.size()) {
            return NoSuch(m, id, ANIME_ERROR_UNKNOWN_PART, name);
        }
        const int32_t count = PartMeshVertices(inst, static_cast<size_t>(index),
                                               m.renderFrame.scratch.clip, out, capacity);
        return count >= 0
                   ? count
                   : Fail(ANIME_ERROR_NO_MESH, "part " + Quoted(name) + " of model " +
                                                   Quoted(ModelNameOf(m, id)) + " (instance " +
                                                   std::to_string(id) + ") has no drawable mesh");
    });
}

ANIME_API int32_t Anime_SetTaskSystem(AnimeEnqueueTaskFn enqueue, AnimeFinishTaskFn finish,
                                      int32_t workerCount, void* userContext) {
    return WithManager(0, [&](AnimeManager& m) {
        if (workerCount < 1 || workerCount > TaskSystem::kMaxWorkers) {
            return Fail(ANIME_ERROR_INVALID_ARGUMENT, "workerCount " + std::to_string(workerCount) +
                                                          " is outside 1 to " +
                                                          std::to_string(TaskSystem::kMaxWorkers));
        }
        if ((enqueue == nullptr) != (finish == nullptr)) {
            return Fail(ANIME_ERROR_INVALID_ARGUMENT, enqueue == nullptr
                                                          ? "enqueue is NULL but finish is not"
                                                          : "finish is NULL but enqueue is not");
        }
        TaskSystem tasks{enqueue, finish, static_cast<uint32_t>(workerCount), userContext};
        const size_t workers = tasks.parallel() ? tasks.workerCount : 1;
        // Room first: a failure leaves the system in force as it was (the
        // sets already made only grow).
        m.updateWorkers.setWorkers(workers, m.instances.size());
        m.renderFrame.setWorkers(workers);
        m.tasks = tasks;
        return 1;
    });
}

}  // extern "C"

ANIME_API int32_t Anime_SetParameter(uint32_t id, const char* name, float value) {
    if (!Given({{name, "name is NULL"}})) {
        return 0;
    }
    if (std::isnan(value)) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "value is NaN");
    }
    return WithParameter(id, name, [&](AnimeInstance& inst, int32_t index) {
        SetHostValue(inst.parameters, inst.model->parameters, index, value);
    });
}

ANIME_API int32_t Anime_GetParameter(uint32_t id, const char* name, float* out) {
    if (!Given({{name, "name is NULL"}})) {
        return 0;
    }
    if (out == nullptr) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "out is NULL");
    }
    return WithParameter(id, name, [&](AnimeInstance& inst, int32_t index) {
        *out = inst.parameters.reported(static_cast<size_t>(index));
    });
}

ANIME_API int32_t Anime_GetParameterCount(uint32_t id) {
    return WithInstance(id, 0, [](AnimeManager&, AnimeInstance& inst) {
        return static_cast<int32_t>(inst.parameters.host.size());
    });
}

ANIME_API const char* Anime_GetParameterName(uint32_t id, int32_t index) {
    return WithInstance(
        id, static_cast<const char*>(nullptr),
        [&](AnimeManager&, AnimeInstance& inst) -> const char* {
            if (index < 0 || static_cast<size_t>(index) >= inst.parameters.host.size()) {
                SetLastError(ANIME_ERROR_INVALID_ARGUMENT,
                             "no parameter at index " + std::to_string(index));
                return nullptr;
            }
            return inst.model->parameters.list[static_cast<size_t>(index)].name.c_str();
        });
}

ANIME_API int32_t Anime_GetParameterRange(uint32_t id, const char* name, float* min, float* max,
                                          float* def) {
    if (!Given({{name, "name is NULL"}})) {
        return 0;
    }
    if (min == nullptr || max == nullptr || def == nullptr) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "min, max or def is NULL");
    }
    return WithParameter(id, name, [&](AnimeInstance& inst, int32_t index) {
        const AnimeParameter& p = inst.model->parameters.list[static_cast<size_t>(index)];
        *min = p.min;
        *max = p.max;
        *def = p.def;
    });
}

ANIME_API int32_t Anime_ResetParameters(uint32_t id) {
    return WithInstance(id, 0, [](AnimeManager&, AnimeInstance& inst) {
        if (inst.model) {
            ResetHostValues(inst.parameters, inst.model->parameters);
        }
        return 1;
    });
}

ANIME_API int32_t Anime_SetAutoBlink(uint32_t id, const char* name, float intervalMs,
                                     float closeMs) {
    if (!DriverArgumentsOk(name, {intervalMs, closeMs})) {
        return 0;
    }
    if (intervalMs > 0.0f && !(closeMs > 0.0f)) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "closeMs is not positive");
    }
    return WithParameter(id, name, [&](AnimeInstance& inst, int32_t index) {
        SetBlinker(inst.parameters.drivers, index, intervalMs, closeMs, id);
    });
}

ANIME_API int32_t Anime_SetBreath(uint32_t id, const char* name, float periodMs, float amplitude) {
    if (!DriverArgumentsOk(name, {periodMs, amplitude})) {
        return 0;
    }
    return WithParameter(id, name, [&](AnimeInstance& inst, int32_t index) {
        SetBreather(inst.parameters.drivers, index, periodMs, amplitude);
    });
}

ANIME_API int32_t Anime_SetLipSync(uint32_t id, const char* name, float gain) {
    if (!DriverArgumentsOk(name, {gain})) {
        return 0;
    }
    return WithParameter(id, name, [&](AnimeInstance& inst, int32_t index) {
        SetLipSync(inst.parameters.drivers, inst.model->parameters.list[static_cast<size_t>(index)],
                   index, gain);
    });
}

ANIME_API int32_t Anime_FeedAudio(uint32_t id, const float* samples, int32_t count,
                                  int32_t sampleRate) {
    if (count < 0) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "count is negative");
    }
    if (samples == nullptr && count > 0) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "samples is NULL");
    }
    if (sampleRate <= 0) {
        return Fail(ANIME_ERROR_INVALID_ARGUMENT, "sampleRate is not positive");
    }
    return WithInstance(id, 0, [&](AnimeManager&, AnimeInstance& inst) {
        FeedAudio(inst.parameters.drivers.audio, samples, count);
        return 1;
    });
}
