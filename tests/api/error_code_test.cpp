// Anime_GetLastErrorCode: one code for every way each export can fail, called
// directly and from inside a host function (where everything but the checks
// made before the lock is refused as a nested call); ANIME_ERROR_NONE with an
// empty text after every success, before any host table too.
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "support/api_fixture.h"

namespace kivanime::test {
namespace {

constexpr const char* kModel = R"({
  "textures": {"t": "t.png"},
  "parts": [{"name": "p", "texture": "t"}],
  "motions": {"walk": {"duration": 100, "loop": true, "events": [{"name": "go", "time": 10}]}},
  "expressions": {"smile": {}},
  "skins": {"red": {"p": "t"}},
  "parameters": [{"name": "open", "min": -1, "max": 2}]})";

struct Case {
    std::string call;
    std::function<bool()> run;  // whether the call answered 0, NULL or nothing
    AnimeErrorCode code;        // called directly
    AnimeErrorCode nested;      // called from inside a host function
};

template <typename Call>
bool AnswersNothing(Call call) {
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
        return true;
    } else {
        return !call();
    }
}

// A call, what it leaves directly and from inside a host function.
#define CASE(call, code, nested)                                                            \
    Case {                                                                                  \
#call, [=]() mutable { return AnswersNothing([&] { return call; }); }, code, nested \
    }
// A call failing with `code`, whose check runs under the lock.
#define ROW(call, code) CASE(call, code, ANIME_ERROR_NESTED_CALL)
// A call whose argument is refused before the lock is taken, nested or not.
#define EARLY(call) CASE(call, kArg, kArg)

constexpr AnimeErrorCode kNone = ANIME_ERROR_NONE;
constexpr AnimeErrorCode kArg = ANIME_ERROR_INVALID_ARGUMENT;
constexpr AnimeErrorCode kId = ANIME_ERROR_UNKNOWN_INSTANCE;
constexpr AnimeErrorCode kModelName = ANIME_ERROR_UNKNOWN_MODEL;
constexpr AnimeErrorCode kParameter = ANIME_ERROR_UNKNOWN_PARAMETER;

// An enqueue function that is never reached: the rows using it are refused.
void* NeverEnqueues(AnimeTaskFn, int32_t, int32_t, void*, void*) {
    return nullptr;
}

using ErrorCode = ApiTest;

TEST_F(ErrorCode, EveryFailureOfEveryExportHasItsCode) {
    loadModel("m", kModel);
    loadModel("r", R"({"textures": {"t": "t.png", "u": "no.png"}, "parts": [{"name": "p"}]})");
    host().onLoad = [this](const std::u16string& path) {
        return path.ends_with(u"no.png") ? -1 : host().nextHandle++;
    };
    const uint32_t live = Anime_CreateInstance("m");
    const uint32_t gone = Anime_CreateInstance("m");
    Anime_DestroyInstance(gone);
    ASSERT_EQ(Anime_PlayMotion(live, "walk", 1.0f), 1);
    Anime_Update(16.0f);
    ASSERT_EQ(Anime_GetEventCount(), 1);

    const std::string good = writeFile("walk.json", "{}");
    const std::string missing = dir_ + "gone/walk.json";
    const std::string folder = scratch_.path().string();  // exists, but is no file
    const std::string broken = writeFile("broken.json", "[1, 2]");
    const char* model = kModel;
    const int32_t length = static_cast<int32_t>(std::strlen(kModel));
    float out[6] = {};
    float x = 0.0f;
    AnimeEvent event{};

    std::vector<Case> cases = {
        EARLY(Anime_LoadModel(nullptr, good.c_str())),
        EARLY(Anime_LoadModel("x", nullptr)),
        ROW(Anime_LoadModel("x", missing.c_str()), ANIME_ERROR_FILE_NOT_FOUND),
        ROW(Anime_LoadModel("x", folder.c_str()), ANIME_ERROR_FILE_UNREADABLE),
        ROW(Anime_LoadModel("x", broken.c_str()), ANIME_ERROR_INVALID_JSON),
        EARLY(Anime_UnloadModel(nullptr)),
        ROW(Anime_UnloadModel("x"), kModelName),
        EARLY(Anime_CreateInstance(nullptr)),
        ROW(Anime_CreateInstance("x"), kModelName),
        ROW(Anime_CreateInstance("r"), ANIME_ERROR_TEXTURE_REFUSED),  // and returns an id
        ROW(Anime_CreateInstance("m"), kNone),
        // Names the live instance's model lacks, and arguments only checked
        // under the lock.
        EARLY(Anime_PlayMotion(live, nullptr, 1.0f)),
        ROW(Anime_PlayMotion(live, "run", 1.0f), ANIME_ERROR_UNKNOWN_MOTION),
        EARLY(Anime_PlayOverlay(live, nullptr, 1.0f, 1.0f)),
        ROW(Anime_PlayOverlay(live, "run", 1.0f, 1.0f), ANIME_ERROR_UNKNOWN_MOTION),
        EARLY(Anime_StopOverlay(live, nullptr)),
        EARLY(Anime_CrossFadeMotion(live, nullptr, 1.0f, 0.0f)),
        ROW(Anime_CrossFadeMotion(live, "run", 1.0f, 0.0f), ANIME_ERROR_UNKNOWN_MOTION),
        EARLY(Anime_QueueMotion(live, nullptr, 1.0f, 0.0f)),
        ROW(Anime_QueueMotion(live, "run", 1.0f, 0.0f), ANIME_ERROR_UNKNOWN_MOTION),
        EARLY(Anime_FadeOverlay(live, nullptr, 0.0f, 0.0f)),
        ROW(Anime_FadeOverlay(live, "walk", NAN, 0.0f), kArg),
        ROW(Anime_FadeOverlay(live, "walk", 0.0f, 0.0f), ANIME_ERROR_OVERLAY_NOT_PLAYING),
        EARLY(Anime_SetExpression(live, nullptr)),
        ROW(Anime_SetExpression(live, "grin"), ANIME_ERROR_UNKNOWN_EXPRESSION),
        EARLY(Anime_GetPartTransform(live, nullptr, out)),
        EARLY(Anime_GetPartTransform(live, "p", nullptr)),
        ROW(Anime_GetPartTransform(live, "arm", out), ANIME_ERROR_UNKNOWN_PART),
        EARLY(Anime_SetPartOffset(live, nullptr, 0, 0, 0, 1, 1, 1)),
        ROW(Anime_SetPartOffset(live, "arm", 0, 0, 0, 1, 1, 1), ANIME_ERROR_UNKNOWN_PART),
        EARLY(Anime_SetPartTexture(live, nullptr, "t")),
        ROW(Anime_SetPartTexture(live, "arm", "t"), ANIME_ERROR_UNKNOWN_PART),
        ROW(Anime_SetPartTexture(live, "p", "u"), ANIME_ERROR_UNKNOWN_TEXTURE),
        ROW(Anime_SetSkin(live, "blue"), ANIME_ERROR_UNKNOWN_SKIN),
        EARLY(Anime_SetPartTint(live, nullptr, 1, 1, 1)),
        ROW(Anime_SetPartTint(live, "arm", 1, 1, 1), ANIME_ERROR_UNKNOWN_PART),
        EARLY(Anime_GetPartMesh(live, nullptr, nullptr, 0)),
        EARLY(Anime_GetPartMesh(live, "p", nullptr, -1)),
        EARLY(Anime_GetPartMesh(live, "p", nullptr, 1)),
        ROW(Anime_GetPartMesh(live, "arm", nullptr, 0), ANIME_ERROR_UNKNOWN_PART),
        ROW(Anime_GetPartMesh(live, "p", nullptr, 0), ANIME_ERROR_NO_MESH),
        // Parameters and their drivers.
        EARLY(Anime_SetParameter(live, nullptr, 0.0f)),
        EARLY(Anime_SetParameter(live, "open", NAN)),
        ROW(Anime_SetParameter(live, "shut", 0.0f), kParameter),
        EARLY(Anime_GetParameter(live, nullptr, &x)),
        EARLY(Anime_GetParameter(live, "open", nullptr)),
        ROW(Anime_GetParameter(live, "shut", &x), kParameter),
        ROW(Anime_GetParameterName(live, 1), kArg),
        ROW(Anime_GetParameterName(live, -1), kArg),
        EARLY(Anime_GetParameterRange(live, nullptr, &x, &x, &x)),
        EARLY(Anime_GetParameterRange(live, "open", nullptr, &x, &x)),
        EARLY(Anime_GetParameterRange(live, "open", &x, nullptr, &x)),
        EARLY(Anime_GetParameterRange(live, "open", &x, &x, nullptr)),
        ROW(Anime_GetParameterRange(live, "shut", &x, &x, &x), kParameter),
        EARLY(Anime_SetAutoBlink(live, nullptr, 3000.0f, 150.0f)),
        EARLY(Anime_SetAutoBlink(live, "open", INFINITY, 150.0f)),
        EARLY(Anime_SetAutoBlink(live, "open", 3000.0f, NAN)),
        EARLY(Anime_SetAutoBlink(live, "open", 3000.0f, 0.0f)),
        ROW(Anime_SetAutoBlink(live, "shut", 0.0f, 0.0f), kParameter),
        EARLY(Anime_SetBreath(live, nullptr, 3000.0f, 0.5f)),
        EARLY(Anime_SetBreath(live, "open", NAN, 0.5f)),
        EARLY(Anime_SetBreath(live, "open", 3000.0f, -INFINITY)),
        ROW(Anime_SetBreath(live, "shut", 3000.0f, 0.5f), kParameter),
        EARLY(Anime_SetLipSync(live, nullptr, 1.0f)),
        EARLY(Anime_SetLipSync(live, "open", NAN)),
        ROW(Anime_SetLipSync(live, "shut", 1.0f), kParameter),
        EARLY(Anime_FeedAudio(live, nullptr, 1, 48000)),
        EARLY(Anime_FeedAudio(live, &x, -1, 48000)),
        EARLY(Anime_FeedAudio(live, &x, 1, 0)),
        ROW(Anime_SetParameter(live, "open", INFINITY), kNone),
        ROW(Anime_GetParameter(live, "open", &x), kNone),
        ROW(Anime_GetParameterName(live, 0), kNone),
        ROW(Anime_GetParameterRange(live, "open", &x, &x, &x), kNone),
        ROW(Anime_SetAutoBlink(live, "open", 0.0f, 0.0f), kNone),
        EARLY(Anime_SetBreath(live, "open", -1.0f, NAN)),
        ROW(Anime_SetLipSync(live, "open", 0.0f), kNone),
        ROW(Anime_FeedAudio(live, nullptr, 0, 1), kNone),
        // The last update's one event.
        EARLY(Anime_GetEvent(0, nullptr)),
        ROW(Anime_GetEvent(-1, &event), ANIME_ERROR_NO_EVENT),
        ROW(Anime_GetEvent(1, &event), ANIME_ERROR_NO_EVENT),
        ROW(Anime_GetEventText(1, 0), ANIME_ERROR_NO_EVENT),
        ROW(Anime_GetEventText(0, 3), kArg),
        ROW(Anime_GetEventText(0, -1), kArg),
        ROW(Anime_GetEvent(0, &event), kNone),
        ROW(Anime_GetEventText(0, 1), kNone),
        // The task system: counts outside 1 to 64, exactly one function.
        ROW(Anime_SetTaskSystem(nullptr, nullptr, 0, nullptr), kArg),
        ROW(Anime_SetTaskSystem(nullptr, nullptr, 65, nullptr), kArg),
        ROW(Anime_SetTaskSystem(NeverEnqueues, nullptr, 2, nullptr), kArg),
        ROW(Anime_SetTaskSystem(nullptr, nullptr, 1, nullptr), kNone),
    };
    // Motions and expressions load into a model alike, from a file or memory.
    using FromFile = int32_t (*)(const char*, const char*);
    using FromMemory = int32_t (*)(const char*, const char*, int32_t);
    const std::tuple<const char*, FromFile, FromMemory> loaders[] = {
        {"motion: ", Anime_LoadMotion, Anime_LoadMotionFromMemory},
        {"expression: ", Anime_LoadExpression, Anime_LoadExpressionFromMemory}};
    for (const auto& [kind, file, memory] : loaders) {
        const size_t first = cases.size();
        cases.insert(cases.end(), {
                                      EARLY(file(nullptr, good.c_str())),
                                      EARLY(file("m", nullptr)),
                                      ROW(file("x", good.c_str()), kModelName),
                                      ROW(file("m", missing.c_str()), ANIME_ERROR_FILE_NOT_FOUND),
                                      ROW(file("m", folder.c_str()), ANIME_ERROR_FILE_UNREADABLE),
                                      ROW(file("m", broken.c_str()), ANIME_ERROR_INVALID_JSON),
                                      EARLY(memory(nullptr, "{}", 2)),
                                      EARLY(memory("m", nullptr, 2)),
                                      EARLY(memory("m", "{}", -1)),
                                      ROW(memory("x", "{}", 2), kModelName),
                                      ROW(memory("m", "[1]", 3), ANIME_ERROR_INVALID_JSON),
                                  });
        for (auto c = cases.begin() + first; c != cases.end(); ++c) {
            c->call.insert(0, kind);
        }
    }
    // Every export taking an id, with 0, one never handed out and one
    // destroyed.
    for (const uint32_t id : {0u, 77u, gone}) {
        cases.insert(cases.end(), {
                                      ROW(Anime_DestroyInstance(id), kId),
                                      ROW(Anime_PlayMotion(id, "walk", 1.0f), kId),
                                      ROW(Anime_StopMotion(id), kId),
                                      ROW(Anime_IsMotionPlaying(id), kId),
                                      ROW(Anime_IsMotionFinished(id), kId),
                                      ROW(Anime_PlayOverlay(id, "walk", 1.0f, 1.0f), kId),
                                      ROW(Anime_StopOverlay(id, "walk"), kId),
                                      ROW(Anime_StopAllOverlays(id), kId),
                                      ROW(Anime_SetExpression(id, "smile"), kId),
                                      ROW(Anime_ClearExpression(id), kId),
                                      ROW(Anime_SetPosition(id, 1, 2), kId),
                                      ROW(Anime_GetPosition(id, &x, &x), kId),
                                      ROW(Anime_SetScale(id, 2, 2), kId),
                                      ROW(Anime_SetAlpha(id, 0), kId),
                                      ROW(Anime_SetVisible(id, 0), kId),
                                      ROW(Anime_SetDrawOrder(id, 3), kId),
                                      ROW(Anime_SetWind(id, 1, 1), kId),
                                      ROW(Anime_ResetPhysics(id), kId),
                                      ROW(Anime_Set3DSetup(id, 1, 0, 0, 500, 0, 0), kId),
                                      ROW(Anime_Set3DAngles(id, 10, 0, 0), kId),
                                      ROW(Anime_Set3DStrength(id, 1, 1), kId),
                                      ROW(Anime_RenderInstance(id), kId),
                                      ROW(Anime_GetPartTransform(id, "p", out), kId),
                                      ROW(Anime_CrossFadeMotion(id, "walk", 1.0f, 10.0f), kId),
                                      ROW(Anime_QueueMotion(id, "walk", 1.0f, 10.0f), kId),
                                      ROW(Anime_FadeOverlay(id, "walk", 0.0f, 0.0f), kId),
                                      ROW(Anime_SetPartOffset(id, "p", 0, 0, 0, 1, 1, 1), kId),
                                      ROW(Anime_ClearPartOffsets(id), kId),
                                      ROW(Anime_SetPartTexture(id, "p", nullptr), kId),
                                      ROW(Anime_SetSkin(id, nullptr), kId),
                                      ROW(Anime_SetTint(id, 1, 0, 0), kId),
                                      ROW(Anime_SetPartTint(id, "p", 1, 0, 0), kId),
                                      ROW(Anime_GetPartMesh(id, "p", nullptr, 0), kId),
                                      ROW(Anime_SetParameter(id, "open", 0), kId),
                                      ROW(Anime_GetParameter(id, "open", &x), kId),
                                      ROW(Anime_GetParameterCount(id), kId),
                                      ROW(Anime_GetParameterName(id, 0), kId),
                                      ROW(Anime_GetParameterRange(id, "open", &x, &x, &x), kId),
                                      ROW(Anime_ResetParameters(id), kId),
                                      ROW(Anime_SetAutoBlink(id, "open", 1, 1), kId),
                                      ROW(Anime_SetBreath(id, "open", 1, 1), kId),
                                      ROW(Anime_SetLipSync(id, "open", 1), kId),
                                      ROW(Anime_FeedAudio(id, &x, 1, 48000), kId),
                                  });
    }
    // What cannot fail but from inside a host function; last, as the direct
    // calls change what they touch. Then a library without a host table:
    // nothing waits for Anime_Init.
    cases.insert(cases.end(),
                 {
                     ROW(((void)Anime_GetVersion(), Anime_GetEventCount()), kNone),
                     ROW(Anime_GetInstanceCount() + Anime_HasInstances(), kNone),
                     ROW(Anime_SetGlobalWind(1, 1), kNone),
                     ROW(Anime_SetMeshCallback(nullptr), kNone),
                     ROW(Anime_Update(16.0f), kNone),
                     ROW(Anime_Render(), kNone),
                     ROW(Anime_DestroyAllInstances(), kNone),
                     ROW(Anime_Init(nullptr), kNone),
                     ROW(Anime_Shutdown(), kNone),
                     ROW(Anime_UnloadAll(), kNone),
                     ROW(Anime_LoadModelFromMemory("m", model, length, nullptr), kNone),
                     ROW(Anime_CreateInstance("m"), kNone),
                     ROW(Anime_PlayMotion(1, "walk", 1.0f), kNone),
                     ROW(Anime_RenderInstance(1), kNone),
                 });

    // Each case after a call that left another code, so the code seen is the
    // case's own; the text is empty exactly when the code is NONE.
    const auto check = [&](const Case& c, bool nested) {
        const AnimeErrorCode expected = nested ? c.nested : c.code;
        if (expected == kArg) {
            Anime_StopMotion(0);
        } else {
            Anime_LoadModel(nullptr, nullptr);
        }
        SCOPED_TRACE((nested ? "nested " : "") + c.call);
        const bool answeredNothing = c.run();
        // A failure answers its failure value (a refused texture still gives the id).
        EXPECT_TRUE(answeredNothing || expected == kNone ||
                    expected == ANIME_ERROR_TEXTURE_REFUSED);
        EXPECT_EQ(Anime_GetLastErrorCode(), static_cast<int32_t>(expected));
        EXPECT_EQ(*Anime_GetLastError() == '\0', expected == kNone);
    };
    int draws = 0;
    host().onDraw = [&](const AnimeDrawParams&) {
        if (draws++ == 0) {
            for (const Case& c : cases) {
                check(c, true);
            }
        }
    };
    Anime_Render();
    EXPECT_EQ(draws, 1);
    // The refusals inside were the host function's to see, not the render's.
    EXPECT_EQ(Anime_GetLastErrorCode(), static_cast<int32_t>(kNone));
    host().onDraw = nullptr;
    for (const Case& c : cases) {
        check(c, false);
    }
    EXPECT_EQ(Anime_GetInstanceCount(), 1);
}

}  // namespace
}  // namespace kivanime::test
