// Several threads call the exports at once: creating and destroying
// instances, loading and unloading, updating, rendering, setting, playing,
// re-initialising. The library must neither deadlock nor corrupt its state;
// under ThreadSanitizer it must also show no data race.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "kivanime.h"

namespace {

constexpr int kWorkers = 4;
constexpr int kMaxOpsPerWorker = 6000;
// Bounds the run on slow builds (sanitizers, emulators) without making the
// outcome depend on timing: every check below holds however far the threads
// got.
constexpr auto kWorkBudget = std::chrono::milliseconds(1500);
// Far beyond the budget: reaching it means the threads are stuck.
constexpr auto kDeadlockLimit = std::chrono::seconds(120);

// The host state. Host functions run with the library's lock held, so these
// plain containers need no lock of their own: a host call made outside the
// lock would show up as a race under ThreadSanitizer.
struct HostState {
    int32_t nextHandle = 0;
    std::unordered_map<int32_t, int> live;  // handle -> 1 while loaded
    int64_t loads = 0;
    int64_t releases = 0;
    int64_t badLoads = 0;
    int64_t badReleases = 0;
    int64_t draws = 0;
    int64_t badDraws = 0;
    int64_t nestedAnswers = 0;  // non-zero answers to calls made from inside a host call
};
HostState g_host;

int32_t Load(const uint16_t* path) {
    if (path == nullptr || path[0] == 0) {
        ++g_host.badLoads;
    }
    ++g_host.loads;
    const int32_t handle = g_host.nextHandle++;
    g_host.live[handle] = 1;
    return handle;
}

void Release(int32_t handle) {
    ++g_host.releases;
    if (g_host.live.erase(handle) != 1) {
        ++g_host.badReleases;
    }
}

void Draw(const AnimeDrawParams* p) {
    ++g_host.draws;
    if (p->reserved2 != 0xFFFFFFFFu || g_host.live.count(p->texture) != 1) {
        ++g_host.badDraws;
    }
    // A call back into the library from a host function is refused rather
    // than deadlocking.
    if (g_host.draws % 64 == 0 && Anime_GetInstanceCount() != 0) {
        ++g_host.nestedAnswers;
    }
}

// A second table with distinct function pointers and the same behaviour, so
// that Anime_Init really changes something while threads run.
int32_t Load2(const uint16_t* path) {
    return Load(path);
}
void Release2(int32_t handle) {
    Release(handle);
}
void Draw2(const AnimeDrawParams* p) {
    Draw(p);
}

const AnimeHostCallbacks kTable1{Load, Release, nullptr, Draw};
const AnimeHostCallbacks kTable2{Load2, Release2, nullptr, Draw2};

// The sample puppets: "a" is the hero (every feature: hierarchy, springs,
// motions, expressions, parallax depths), "b" the minimal one.
const std::string kExamples = std::string(KIVANIME_SOURCE_DIR) + "/examples/";
const std::string kHero = kExamples + "hero/";
constexpr size_t kTexturesOfA = 28;

struct OwnInstance {
    uint32_t id;
    float x;
    float y;
};

struct WorkerResult {
    std::vector<OwnInstance> own;  // instances of model "a" this worker created and still owns
    int64_t ops = 0;
    int64_t wrongPositions = 0;
    int64_t failedCreates = 0;
};

// One worker: random calls, on its own instances or on any id (another
// worker's, a dead one), until the budget is spent.
void Work(int worker, WorkerResult& result, std::chrono::steady_clock::time_point stopAt) {
    std::minstd_rand rng(static_cast<unsigned>(1234 + worker));
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto frac = [&]() { return static_cast<float>(rng() % 1000) / 1000.0f; };
    static const char* const kMotions[] = {"idle", "wave", "blink", "nope"};
    static const char* const kExpressions[] = {"smile", "surprised", "nope"};
    std::vector<OwnInstance>& own = result.own;
    uint32_t id = 0;
    int op = 0;
    auto motion = [&] { return kMotions[pick(4)]; };
    const std::function<void()> calls[] = {
        [&] {
            if (own.size() < 6) {
                const uint32_t created = Anime_CreateInstance("a");
                const float x = static_cast<float>(worker * 1000 + op);
                if (created == 0) {
                    ++result.failedCreates;
                    return;
                }
                Anime_SetPosition(created, x, -x);
                own.push_back({created, x, -x});
            }
        },
        [&] {
            if (!own.empty()) {
                const size_t i = static_cast<size_t>(pick(static_cast<int>(own.size())));
                Anime_DestroyInstance(own[i].id);
                own.erase(own.begin() + static_cast<std::ptrdiff_t>(i));
            }
        },
        // Instances of "b" come and go with the model; nobody tracks them.
        [&] { Anime_CreateInstance("b"); },
        [&] { Anime_Update(frac() * 40.0f); },
        [&] { Anime_Render(); },
        [&] {
            Anime_SetScale(id, 0.5f + frac(), 0.5f + frac());
            Anime_SetAlpha(id, frac());
            Anime_SetVisible(id, pick(4) != 0);
            Anime_SetDrawOrder(id, pick(5) - 2);
        },
        [&] {
            Anime_SetWind(id, frac() - 0.5f, frac());
            Anime_ResetPhysics(id);
        },
        [&] { Anime_Init(pick(2) == 0 ? &kTable1 : &kTable2); },
        [&] { Anime_SetGlobalWind(frac() * 3.0f - 1.5f, frac() - 0.5f); },
        [&] {
            Anime_PlayMotion(id, motion(), frac() * 3.0f - 1.0f);
            Anime_PlayOverlay(id, motion(), 1.0f, frac());
        },
        [&] {
            Anime_StopMotion(id);
            Anime_StopOverlay(id, motion());
            Anime_IsMotionPlaying(id);
            Anime_IsMotionFinished(id);
        },
        [&] { Anime_StopAllOverlays(id); },
        [&] { Anime_SetExpression(id, kExpressions[pick(3)]); },
        [&] { Anime_ClearExpression(id); },
        [&] {
            Anime_Set3DSetup(id, pick(2), frac() * 100.0f, frac() * 100.0f, frac() * 2000.0f,
                             frac() * 300.0f, frac() * 300.0f);
            Anime_Set3DAngles(id, frac() * 60.0f - 30.0f, frac() * 40.0f - 20.0f, frac() * 10.0f);
            Anime_Set3DStrength(id, frac() * 2.0f, frac() * 2.0f);
        },
        // Replaces the records that playing instances point at.
        [&] { Anime_LoadMotion("a", (kHero + "motions/wave.json").c_str()); },
        [&] { Anime_LoadExpression("a", (kHero + "expressions/surprised.json").c_str()); },
        [&] { Anime_LoadModel("b", (kExamples + "minimal/model.json").c_str()); },
        [&] { Anime_UnloadModel("b"); },
        [&] {
            Anime_GetInstanceCount();
            Anime_HasInstances();
        },
        [&] {
            // Positions of this worker's instances are set by it alone.
            for (const OwnInstance& mine : own) {
                float x = 0.0f;
                float y = 0.0f;
                Anime_GetPosition(mine.id, &x, &y);
                result.wrongPositions += x != mine.x || y != mine.y;
            }
        },
    };
    constexpr int kCalls = static_cast<int>(std::size(calls));
    for (; op < kMaxOpsPerWorker; ++op) {
        if ((op & 31) == 0 && std::chrono::steady_clock::now() >= stopAt) {
            break;
        }
        ++result.ops;
        id = own.empty() || pick(2) == 0
                 ? static_cast<uint32_t>(pick(64))
                 : own[static_cast<size_t>(pick(static_cast<int>(own.size())))].id;
        // Creating and destroying come up twice as often as the rest.
        const int k = pick(kCalls + 3);
        calls[k < kCalls ? k : k - kCalls]();
    }
}

TEST(ThreadStress, ExportsFromManyThreadsStayConsistent) {
    Anime_Shutdown();
    Anime_Init(&kTable1);
    ASSERT_EQ(Anime_LoadModel("a", (kHero + "model.json").c_str()), 1);
    for (const char* motion : {"idle", "wave"}) {
        ASSERT_EQ(Anime_LoadMotion("a", (kHero + "motions/" + motion + ".json").c_str()), 1);
    }
    ASSERT_EQ(Anime_LoadExpression("a", (kHero + "expressions/smile.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadModel("b", (kExamples + "minimal/model.json").c_str()), 1);

    std::vector<WorkerResult> results(kWorkers);
    std::mutex doneLock;
    std::condition_variable doneSignal;
    int done = 0;
    const auto stopAt = std::chrono::steady_clock::now() + kWorkBudget;
    std::vector<std::thread> threads;
    for (int w = 0; w < kWorkers; ++w) {
        threads.emplace_back([&, w] {
            Work(w, results[static_cast<size_t>(w)], stopAt);
            std::lock_guard<std::mutex> guard(doneLock);
            ++done;
            doneSignal.notify_one();
        });
    }
    {
        std::unique_lock<std::mutex> guard(doneLock);
        if (!doneSignal.wait_for(guard, kDeadlockLimit, [&] { return done == kWorkers; })) {
            // Stuck threads cannot be joined: report and leave at once.
            std::fprintf(stderr,
                         "ThreadStress: %d of %d workers still running after %lld s: "
                         "deadlock\n",
                         kWorkers - done, kWorkers, static_cast<long long>(kDeadlockLimit.count()));
            std::fflush(stderr);
            std::_Exit(3);
        }
    }
    for (std::thread& t : threads) {
        t.join();
    }

    // Every thread is done: the host state may be read without the lock.
    int64_t ops = 0;
    size_t ownLive = 0;
    for (const WorkerResult& r : results) {
        ops += r.ops;
        ownLive += r.own.size();
        EXPECT_EQ(r.wrongPositions, 0);
        EXPECT_EQ(r.failedCreates, 0);
    }
    EXPECT_GT(ops, kWorkers);
    EXPECT_EQ(g_host.badLoads, 0);
    EXPECT_EQ(g_host.badReleases, 0);
    EXPECT_EQ(g_host.badDraws, 0);
    EXPECT_EQ(g_host.nestedAnswers, 0);

    // Dropping "b" leaves exactly the workers' own instances of "a".
    Anime_UnloadModel("b");
    EXPECT_EQ(Anime_GetInstanceCount(), static_cast<int32_t>(ownLive));
    EXPECT_EQ(Anime_HasInstances(), ownLive > 0 ? 1 : 0);
    EXPECT_EQ(g_host.loads - g_host.releases, static_cast<int64_t>(ownLive * kTexturesOfA));
    for (const WorkerResult& r : results) {
        for (const OwnInstance& mine : r.own) {
            float x = 0.0f;
            float y = 0.0f;
            Anime_GetPosition(mine.id, &x, &y);
            EXPECT_EQ(x, mine.x);
            EXPECT_EQ(y, mine.y);
        }
    }
    Anime_Shutdown();
    EXPECT_EQ(Anime_GetInstanceCount(), 0);
    EXPECT_EQ(g_host.loads, g_host.releases);
    EXPECT_TRUE(g_host.live.empty());
    std::printf("ThreadStress: %lld calls, %lld draws, %lld texture loads\n",
                static_cast<long long>(ops), static_cast<long long>(g_host.draws),
                static_cast<long long>(g_host.loads));
    Anime_Init(nullptr);
}

}  // namespace
