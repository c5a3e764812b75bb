// Several threads call the exports at once: creating and destroying
// instances, loading and unloading, updating, rendering, setting, playing,
// re-initialising. The library must neither deadlock (ctest's timeout ends a
// stuck run) nor corrupt its state; under ThreadSanitizer it must also show
// no data race.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kivanime.h"

namespace {

constexpr int kWorkers = 4;
constexpr int kMaxOpsPerWorker = 6000;
// Bounds the run on slow builds (sanitizers, emulators) without making the
// outcome depend on timing: every check below holds however far the threads
// got.
constexpr auto kWorkBudget = std::chrono::milliseconds(1500);

// The host state. Host functions run with the library's lock held, so these
// plain members need no lock of their own: a host call made outside the lock
// shows up as a race under ThreadSanitizer.
struct HostState {
    std::set<int32_t> live;
    int32_t nextHandle = 0;
    int64_t draws = 0;
    int64_t faults = 0;  // bad paths, handles or records, answers to nested calls
} g_host;

int32_t Load(const uint16_t* path) {
    g_host.faults += path == nullptr || path[0] == 0;
    g_host.live.insert(g_host.nextHandle);
    return g_host.nextHandle++;
}

void Release(int32_t handle) {
    g_host.faults += g_host.live.erase(handle) != 1;
}

void Draw(const AnimeDrawParams* p) {
    g_host.faults += p->reserved2 != 0xFFFFFFFFu || g_host.live.count(p->texture) != 1;
    // A call back into the library from a host function is refused rather
    // than deadlocking.
    if (++g_host.draws % 64 == 0) {
        g_host.faults += Anime_GetInstanceCount() != 0;
    }
}

// Two tables with distinct function pointers and the same behaviour, so that
// Anime_Init really changes something while threads run.
const AnimeHostCallbacks kTable1{Load, Release, nullptr, Draw};
const AnimeHostCallbacks kTable2{[](const uint16_t* p) { return Load(p); },
                                 [](int32_t h) { Release(h); }, nullptr,
                                 [](const AnimeDrawParams* p) { Draw(p); }};

// "a" is the sample hero (hierarchy, springs, motions, expressions, 3D
// depths), "b" the minimal puppet.
const std::string kExamples = std::string(KIVANIME_SOURCE_DIR) + "/examples/";
const std::string kHero = kExamples + "hero/";
constexpr size_t kTexturesOfA = 28;

// Each worker places the instances of "a" it owns at (id, -id); no other
// worker may move them.
bool InPlace(uint32_t id) {
    float x = 0.0f;
    float y = 0.0f;
    Anime_GetPosition(id, &x, &y);
    return x == static_cast<float>(id) && y == -static_cast<float>(id);
}

struct WorkerResult {
    std::vector<uint32_t> own;  // instances of "a" this worker created and still owns
    int64_t ops = 0;
    int64_t faults = 0;  // failed creations, moved instances
};

// One worker: random calls, on its own instances or on any id (another
// worker's, a dead one), until the budget is spent.
void Work(int worker, WorkerResult& result, std::chrono::steady_clock::time_point stopAt) {
    std::minstd_rand rng(static_cast<unsigned>(1234 + worker));
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto frac = [&]() { return static_cast<float>(rng() % 1000) / 1000.0f; };
    static const char* const kNames[] = {"idle", "wave", "smile", "surprised", "nope"};
    auto name = [&] { return kNames[pick(5)]; };
    std::vector<uint32_t>& own = result.own;
    uint32_t id = 0;
    const std::function<void()> calls[] = {
        [&] {
            if (own.size() < 6) {
                const uint32_t created = Anime_CreateInstance("a");
                const float x = static_cast<float>(created);
                Anime_SetPosition(created, x, -x);
                if (created != 0) {
                    own.push_back(created);
                } else {
                    ++result.faults;
                }
            }
        },
        [&] {
            if (!own.empty()) {
                const auto i = own.begin() + pick(static_cast<int>(own.size()));
                result.faults += !InPlace(*i);
                Anime_DestroyInstance(*i);
                own.erase(i);
            }
        },
        // Instances of "b" come and go with the model; nobody tracks them.
        [&] { Anime_CreateInstance("b"); },
        [&] { Anime_Update(frac() * 40.0f); },
        [&] { pick(2) ? Anime_Render() : Anime_RenderInstance(id); },
        [&] { Anime_Init(pick(2) == 0 ? &kTable1 : &kTable2); },
        [&] {
            Anime_SetScale(id, 0.5f + frac(), 0.5f + frac());
            Anime_SetAlpha(id, frac());
            Anime_SetVisible(id, pick(4) != 0);
            Anime_SetDrawOrder(id, pick(5) - 2);
            Anime_SetWind(id, frac() - 0.5f, frac());
            Anime_SetGlobalWind(frac() * 3.0f - 1.5f, frac() - 0.5f);
            Anime_ResetPhysics(id);
        },
        [&] {
            Anime_PlayMotion(id, name(), frac() * 3.0f - 1.0f);
            Anime_PlayOverlay(id, name(), 1.0f, frac());
            Anime_SetExpression(id, name());
            Anime_IsMotionPlaying(id);
        },
        [&] {
            Anime_StopMotion(id);
            Anime_StopOverlay(id, name());
            Anime_IsMotionFinished(id);
            Anime_StopAllOverlays(id);
            Anime_ClearExpression(id);
        },
        [&] {
            Anime_Set3DSetup(id, pick(2), frac() * 100.0f, frac() * 100.0f, frac() * 2000.0f,
                             frac() * 300.0f, frac() * 300.0f);
            Anime_Set3DAngles(id, frac() * 60.0f - 30.0f, frac() * 40.0f - 20.0f, frac() * 10.0f);
            Anime_Set3DStrength(id, frac() * 2.0f, frac() * 2.0f);
            float transform[6];
            Anime_GetPartTransform(id, "head", transform);
        },
        // Replaces the records that playing instances point at, and drops
        // and brings back a model with live instances.
        [&] {
            Anime_LoadMotion("a", (kHero + "motions/wave.json").c_str());
            Anime_LoadExpression("a", (kHero + "expressions/surprised.json").c_str());
        },
        [&] { Anime_LoadModel("b", (kExamples + "minimal/model.json").c_str()); },
        [&] {
            Anime_UnloadModel("b");
            Anime_HasInstances();
        },
    };
    constexpr int kCalls = static_cast<int>(std::size(calls));
    for (int op = 0; op < kMaxOpsPerWorker; ++op) {
        if ((op & 31) == 0 && std::chrono::steady_clock::now() >= stopAt) {
            break;
        }
        ++result.ops;
        id = own.empty() || pick(2) == 0 ? static_cast<uint32_t>(pick(64))
                                         : own[static_cast<size_t>(pick(int(own.size())))];
        // Creating and destroying come up twice as often as the rest.
        const int k = pick(kCalls + 2);
        calls[k < kCalls ? k : k - kCalls]();
    }
}

TEST(ThreadStress, ExportsFromManyThreadsStayConsistent) {
    Anime_Shutdown();
    Anime_Init(&kTable1);
    ASSERT_EQ(Anime_LoadModel("a", (kHero + "model.json").c_str()), 1);
    for (const char* file : {"motions/idle.json", "motions/wave.json"}) {
        ASSERT_EQ(Anime_LoadMotion("a", (kHero + file).c_str()), 1);
    }
    ASSERT_EQ(Anime_LoadExpression("a", (kHero + "expressions/smile.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadModel("b", (kExamples + "minimal/model.json").c_str()), 1);

    std::vector<WorkerResult> results(kWorkers);
    const auto stopAt = std::chrono::steady_clock::now() + kWorkBudget;
    std::vector<std::thread> threads;
    for (int w = 0; w < kWorkers; ++w) {
        threads.emplace_back(Work, w, std::ref(results[static_cast<size_t>(w)]), stopAt);
    }
    for (std::thread& t : threads) {
        t.join();
    }

    // Every thread is done: the host state may be read without the lock.
    // Dropping "b" leaves exactly the workers' own instances of "a", each
    // where its worker put it, with their textures.
    Anime_UnloadModel("b");
    int64_t ops = 0;
    size_t ownLive = 0;
    for (const WorkerResult& r : results) {
        ops += r.ops;
        ownLive += r.own.size();
        EXPECT_EQ(r.faults, 0);
        for (uint32_t mine : r.own) {
            EXPECT_TRUE(InPlace(mine)) << mine;
        }
    }
    EXPECT_GT(ops, kWorkers);
    EXPECT_EQ(g_host.faults, 0);
    EXPECT_EQ(Anime_GetInstanceCount(), static_cast<int32_t>(ownLive));
    EXPECT_EQ(Anime_HasInstances(), ownLive > 0 ? 1 : 0);
    EXPECT_EQ(g_host.live.size(), ownLive * kTexturesOfA);
    Anime_Shutdown();
    EXPECT_EQ(Anime_GetInstanceCount(), 0);
    EXPECT_TRUE(g_host.live.empty());
    std::printf("ThreadStress: %lld calls, %lld draws\n", static_cast<long long>(ops),
                static_cast<long long>(g_host.draws));
    Anime_Init(nullptr);
}

}  // namespace
