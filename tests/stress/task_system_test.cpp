// Frames spread over a task system must be the serial frames exactly: the
// same scene runs serially and on several task systems, and every draw
// record, mesh vertex, query answer and event (with its texts) is compared
// byte for byte. Under ThreadSanitizer (the `stress` label of the `tsan`
// preset) the pool's runs also show that the workers share nothing they
// write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kivanime.h"
#include "task_pool.h"

namespace {

const std::string kSource = KIVANIME_SOURCE_DIR;
const std::string kHero = kSource + "/examples/hero/";
const std::string kMeshes = kSource + "/tests/fixtures/mesh-puppet/";
const std::string kMasks = kSource + "/tests/fixtures/mask-puppet/";

// Everything the host sees, in order. Host functions must all be called on
// the thread that called into the library.
std::vector<uint8_t> gSeen;
std::thread::id gCaller;
int64_t gStrayCalls = 0;

template <typename T>
void See(const T* data, size_t count = 1) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    gSeen.insert(gSeen.end(), bytes, bytes + sizeof(T) * count);
}

void Check() {
    gStrayCalls += std::this_thread::get_id() != gCaller;
}

int32_t gNextTexture = 0;
int32_t Load(const uint16_t*) {
    Check();
    return gNextTexture++;
}
void Release(int32_t) {
    Check();
}
// Set, the draw function tries to change the task system from inside a frame.
bool gNest = false;
int32_t gNestedAnswer = -1;
void Draw(const AnimeDrawParams* p) {
    Check();
    if (gNest) {
        gNestedAnswer = Anime_SetTaskSystem(nullptr, nullptr, 1, nullptr);
    }
    const uint8_t tag = 'd';
    See(&tag);
    See(p);
}
void DrawMesh(const AnimeDrawParams* p, const AnimeMeshVertex* vertices, int32_t count,
              const uint16_t* indices, int32_t indexCount) {
    Check();
    const uint8_t tag = 'm';
    See(&tag);
    See(p);
    See(vertices, static_cast<size_t>(count));
    See(indices, static_cast<size_t>(indexCount));
}

const AnimeHostCallbacks kHost{Load, Release, nullptr, Draw};

// A motion announcing a hundred events a lap: a few dozen puppets playing it
// through a long frame pass the event list's limit, so that which entries
// the merged list keeps matters.
std::string Chatter() {
    std::string events;
    for (int k = 0; k < 100; ++k) {
        events += (k ? "," : "") + std::string(R"({"time": )") + std::to_string(k * 5) +
                  R"(, "name": "tick", "int": )" + std::to_string(k) + R"(, "string": "t)" +
                  std::to_string(k % 7) + "\"}";
    }
    return R"({"name": "chatter", "duration": 500, "loop": true, "events": [)" + events +
           R"(], "tracks": [{"part": "head", "keyframes": [{"time": 0}, {"time": 500, "rotation": 9}]}]})";
}

// More puppets than two of the draw pass's batches, of two models, in every
// state that changes what a frame does.
void BuildScene() {
    gCaller = std::this_thread::get_id();
    gNextTexture = 0;
    Anime_Init(&kHost);
    const std::string chatter = Chatter();
    ASSERT_EQ(Anime_LoadModel("hero", (kHero + "model.json").c_str()) +
                  Anime_LoadMotion("hero", (kHero + "motions/idle.json").c_str()) +
                  Anime_LoadMotion("hero", (kHero + "motions/jump.json").c_str()) +
                  Anime_LoadMotion("hero", (kHero + "motions/walk.json").c_str()) +
                  Anime_LoadMotion("hero", (kHero + "motions/wave.json").c_str()) +
                  Anime_LoadExpression("hero", (kHero + "expressions/smile.json").c_str()) +
                  Anime_LoadMotionFromMemory("hero", chatter.data(),
                                             static_cast<int32_t>(chatter.size())) +
                  Anime_LoadModel("meshes", (kMeshes + "model.json").c_str()) +
                  Anime_LoadMotion("meshes", (kMeshes + "motions/sway.json").c_str()) +
                  Anime_LoadMotion("meshes", (kMeshes + "motions/flutter.json").c_str()) +
                  Anime_LoadModel("masks", (kMasks + "model.json").c_str()),
              11);
    const char* motions[] = {"idle", "jump", "walk", "wave", "chatter"};
    for (int i = 0; i < 620; ++i) {
        // Masked parts are clipped on the calling thread, where the mask may
        // come after the part it clips.
        const bool mesh = i % 9 == 4;
        const bool masks = i % 9 == 7;
        Anime_SetMeshCallback((mesh || masks) && i % 2 == 0 ? DrawMesh : nullptr);
        const uint32_t id = Anime_CreateInstance(mesh ? "meshes" : masks ? "masks" : "hero");
        ASSERT_NE(id, 0u);
        Anime_PlayOverlay(id, "look", 1.0f, 1.0f);
        const float speed = 0.5f + 0.01f * static_cast<float>(i % 97);
        Anime_PlayMotion(id, mesh ? "sway" : motions[i % 5], speed);
        Anime_PlayOverlay(id, mesh ? "flutter" : "wave", 1.0f, 0.3f);
        Anime_SetPosition(id, static_cast<float>(i % 31) * 40.0f,
                          static_cast<float>(i / 31) * 9.0f);
        Anime_SetDrawOrder(id, (i * 7) % 5);
        Anime_SetWind(id, static_cast<float>(i % 3), 0.5f);
        if (i % 3 == 0) {
            Anime_Set3DSetup(id, 1, 0.0f, -150.0f, 900.0f, i % 6 == 0 ? 300.0f : 0.0f, 0.0f);
            Anime_Set3DAngles(id, static_cast<float>(i % 40) - 20.0f, 8.0f, 3.0f);
        }
        if (!mesh && i % 4 == 1) {
            Anime_SetExpression(id, "smile");
            Anime_SetPartTint(id, "head", 0.9f, 0.5f, 0.5f);
            Anime_SetPartOffset(id, "head", 0.0f, 0.0f, 0.3f, 1.0f, 1.0f, 0.8f);
        }
        Anime_SetAlpha(id, i % 11 == 0 ? 0.5f : 1.0f);
        Anime_SetVisible(id, i % 23 != 0);
    }
    Anime_SetMeshCallback(nullptr);
    Anime_SetGlobalWind(0.3f, 0.0f);
}

// Runs the scene and returns everything the host saw and read.
std::vector<uint8_t> RunScene() {
    gSeen.clear();
    gCaller = std::this_thread::get_id();
    const float dts[] = {16.6667f, 33.0f, 0.0f, 520.0f, 8.0f, 16.6667f};
    for (int frame = 0; frame < 12; ++frame) {
        for (uint32_t id = 1 + static_cast<uint32_t>(frame) % 7; id <= 620; id += 37) {
            Anime_CrossFadeMotion(id, frame % 2 ? "walk" : "sway", 1.2f, 120.0f);
            Anime_QueueMotion(id, "jump", 1.0f, 60.0f);
        }
        Anime_Update(dts[frame % 6]);
        const int32_t events = Anime_GetEventCount();
        See(&events);
        for (int32_t k = 0; k < events; ++k) {
            AnimeEvent event{};
            Anime_GetEvent(k, &event);
            See(&event);
            for (int32_t field = 0; field < 3; ++field) {
                const char* text = Anime_GetEventText(k, field);
                See(text, std::strlen(text) + 1);
            }
        }
        for (uint32_t id = 1; id <= 620; id += 13) {
            float transform[6] = {};
            Anime_GetPartTransform(id, "head", transform);
            See(transform, 6);
            const int32_t state = Anime_IsMotionPlaying(id) * 2 + Anime_IsMotionFinished(id);
            See(&state);
        }
        Anime_Render();
    }
    return gSeen;
}

// A task system that runs nothing when asked: each finish runs the ranges
// of every task still waiting, the last range first, the tasks' ranges
// interleaved, under worker indices in a scrambled order, and every third
// task is run at once (in reverse too) with no handle returned.
struct Scrambler {
    struct Task {
        void (*fn)(int32_t, int32_t, uint32_t, void*);
        int32_t count, range;
        void* context;
    };
    std::vector<Task> waiting;
    uint32_t workers;
    int64_t enqueued = 0, ranges = 0, strayHandles = 0;

    void Run(std::vector<Task> tasks) {
        uint32_t turn = 0;
        for (bool any = true; any;) {
            any = false;
            for (Task& t : tasks) {
                if (t.count > 0) {
                    const int32_t start = (t.count - 1) / t.range * t.range;
                    t.fn(start, t.count, (turn++ * 5 + 3) % workers, t.context);
                    t.count = start;
                    ++ranges;
                    any = true;
                }
            }
        }
    }
    static void* Enqueue(void (*fn)(int32_t, int32_t, uint32_t, void*), int32_t count,
                         int32_t minRange, void* context, void* user) {
        Scrambler& s = *static_cast<Scrambler*>(user);
        const Task task{fn, count, std::max(minRange, 1), context};
        if (++s.enqueued % 3 == 0) {
            s.Run({task});
            return nullptr;
        }
        s.waiting.push_back(task);
        return user;
    }
    // Only handles it gave out may come back.
    static void Finish(void* handle, void* user) {
        Scrambler& s = *static_cast<Scrambler*>(user);
        s.strayHandles += handle != user;
        s.Run(std::exchange(s.waiting, {}));
    }
};

// Runs the scene on a task system and compares everything the host saw
// with the serial transcript, reporting where they first differ.
void ExpectSerialFrames(const std::vector<uint8_t>& serial, AnimeEnqueueTaskFn enqueue,
                        AnimeFinishTaskFn finish, int32_t workers, void* user, const char* what) {
    BuildScene();
    ASSERT_EQ(Anime_SetTaskSystem(enqueue, finish, workers, user), 1);
    const std::vector<uint8_t> run = RunScene();
    EXPECT_EQ(Anime_SetTaskSystem(nullptr, nullptr, 1, nullptr), 1);
    Anime_Shutdown();
    const auto at = std::mismatch(run.begin(), run.end(), serial.begin(), serial.end());
    EXPECT_TRUE(run == serial) << workers << what << " workers: " << run.size() << " bytes against "
                               << serial.size() << ", first difference at byte "
                               << at.first - run.begin();
}

TEST(TaskSystem, FramesOnWorkersAreTheSerialFramesByteForByte) {
    BuildScene();
    const std::vector<uint8_t> serial = RunScene();
    ASSERT_GT(serial.size(), 12u * 500u * sizeof(AnimeDrawParams));
    Anime_Shutdown();
    for (int32_t workers : {2, 3, 8}) {
        TaskPool* pool = TaskPool_Create(workers);
        ASSERT_NE(pool, nullptr);
        ExpectSerialFrames(serial, TaskPool_Enqueue, TaskPool_Finish, workers, pool, "");
        TaskPool_Destroy(pool);
    }
    for (uint32_t workers : {2u, 5u}) {
        Scrambler scrambler{{}, workers};
        ExpectSerialFrames(serial, Scrambler::Enqueue, Scrambler::Finish,
                           static_cast<int32_t>(workers), &scrambler, " scrambled");
        EXPECT_GT(scrambler.ranges, scrambler.enqueued);
        EXPECT_TRUE(scrambler.waiting.empty());
        EXPECT_EQ(scrambler.strayHandles, 0);
    }
    EXPECT_EQ(gStrayCalls, 0);
}

// Counts the tasks it runs, all at once on the calling thread.
int64_t gTasks = 0;
void* RunAtOnce(void (*fn)(int32_t, int32_t, uint32_t, void*), int32_t count, int32_t,
                void* context, void*) {
    ++gTasks;
    fn(0, count, 1, context);
    return nullptr;
}
void FinishNothing(void*, void*) {}
// How many tasks one frame handed out.
int64_t TasksOfAFrame() {
    const int64_t before = gTasks;
    Anime_Update(16.0f);
    Anime_Render();
    return gTasks - before;
}
// Breaks its word: gives worker index 2 of 2.
void* RunOnAWorkerTooMany(void (*fn)(int32_t, int32_t, uint32_t, void*), int32_t count, int32_t,
                          void* context, void*) {
    fn(0, count, 2, context);
    return nullptr;
}

TEST(TaskSystem, RefusedSettingsKeepTheSystemInForce) {
    Anime_Init(&kHost);
    ASSERT_EQ(Anime_LoadModel("hero", (kHero + "model.json").c_str()), 1);
    ASSERT_NE(Anime_CreateInstance("hero"), 0u);

    // A worker index out of range fails the frame with a reason, touching
    // nothing; the next task system works again.
    ASSERT_EQ(Anime_SetTaskSystem(RunOnAWorkerTooMany, FinishNothing, 2, nullptr), 1);
    for (void (*frame)() : {+[] { Anime_Update(16.0f); }, +[] { Anime_Render(); }}) {
        frame();
        EXPECT_NE(std::strstr(Anime_GetLastError(), "worker index"), nullptr)
            << Anime_GetLastError();
    }
    ASSERT_EQ(Anime_SetTaskSystem(RunAtOnce, FinishNothing, 2, nullptr), 1);
    EXPECT_GT(TasksOfAFrame(), 0);
    EXPECT_STREQ(Anime_GetLastError(), "");

    // From inside a host function: refused, and the system stays.
    gNest = true;
    Anime_Render();
    gNest = false;
    EXPECT_EQ(gNestedAnswer, 0);
    EXPECT_GT(TasksOfAFrame(), 0);

    // Refusals, each giving its reason, keep the system in force; after
    // them, one worker or no functions is serial: no task is handed out.
    const struct {
        AnimeEnqueueTaskFn enqueue;
        AnimeFinishTaskFn finish;
        int32_t workers;
        const char* reason;  // in the last error; "" when accepted
    } rows[] = {
        {RunAtOnce, FinishNothing, 0, "outside 1 to 64"},
        {RunAtOnce, FinishNothing, 65, "outside 1 to 64"},
        {RunAtOnce, FinishNothing, -3, "outside 1 to 64"},
        {nullptr, nullptr, 0, "outside 1 to 64"},
        {RunAtOnce, nullptr, 4, "finish is NULL"},
        {nullptr, FinishNothing, 4, "enqueue is NULL"},
        {RunAtOnce, FinishNothing, 1, ""},
        {nullptr, nullptr, 7, ""},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(std::to_string(c.workers) + " workers, " + c.reason);
        EXPECT_EQ(Anime_SetTaskSystem(c.enqueue, c.finish, c.workers, nullptr), !*c.reason);
        EXPECT_NE(std::strstr(Anime_GetLastError(), c.reason), nullptr) << Anime_GetLastError();
        EXPECT_EQ(TasksOfAFrame() > 0, *c.reason != '\0');
    }
    Anime_Shutdown();
}

}  // namespace
