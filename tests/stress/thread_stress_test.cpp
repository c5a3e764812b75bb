// Several threads call every export at once, with random arguments: creating
// and destroying instances, loading and unloading, updating, rendering,
// setting, playing, re-initialising. The library must neither deadlock
// (ctest's timeout ends a stuck run) nor corrupt its state; under
// ThreadSanitizer it must also show no data race.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "kivanime.h"
#include "kivanime_export_names.h"
#include "support/checking_host.h"
#include "task_pool.h"

namespace {

namespace host = kivanime::test::checking_host;

// A task system of two workers that threads switch on and off (with the
// random counts, 1 and 2 are taken, the others refused).
TaskPool* gPool = nullptr;

// Two tables with distinct function pointers and the same checking host, so
// that Anime_Init really changes something while threads run.
const AnimeHostCallbacks kTables[2] = {
    host::kHost,
    {[](const uint16_t* p) { return host::Load(p); }, [](int32_t h) { host::Release(h); }, nullptr,
     [](const AnimeDrawParams* p) { host::Draw(p); }}};

// "a" is the sample hero (hierarchy, springs, motions, expressions, 3D
// depths), loaded once; "b" comes and goes, from a file or from memory.
const std::string kExamples = std::string(KIVANIME_SOURCE_DIR) + "/examples/";
const std::string kHero = kExamples + "hero/";
const std::string kSmile = R"({"name": "smile", "params": [{"part": "head", "alpha": 0.5}]})";
const std::string kMinimal = kExamples + "minimal/model.json";
const std::string kWave = kHero + "motions/wave.json";
const std::string kTexts[] = {"b",    "idle", "wave", "smile",  "surprised",
                              "head", "nope", kSmile, kMinimal, kWave};

// Each test starts from a fresh library with the hero loaded as "a" (and
// its idle motion), and leaves the library as the other tests expect it.
class ThreadStress : public testing::Test {
protected:
    void SetUp() override {
        Anime_Shutdown();
        Anime_Init(&kTables[0]);
        ASSERT_EQ(Anime_LoadModel("a", (kHero + "model.json").c_str()) +
                      Anime_LoadMotion("a", (kHero + "motions/idle.json").c_str()),
                  2);
    }
    void TearDown() override {
        Anime_Shutdown();
        Anime_Init(nullptr);
    }
};

// Each worker places the instances of "a" it owns at (id, -id); no other
// worker may move or destroy them.
bool InPlace(uint32_t id) {
    float x = 0.0f, y = 0.0f;
    Anime_GetPosition(id, &x, &y);
    return x == static_cast<float>(id) && y == -static_cast<float>(id);
}

struct Worker {
    std::minstd_rand rng;
    std::vector<uint32_t> own;  // instances of "a" this worker created and still owns
    int64_t faults = 0;         // failed creations, moved instances, another thread's error
    const char* text = nullptr;
    float out[6] = {};
    AnimeEvent event{};
    AnimeMeshVertex mesh[4] = {};  // more than the largest capacity picked

    int Pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    // A random argument of each type the exports take: one of the texts
    // above (or NULL), an id of the worker's own or any small one, a table,
    // a number, room for the result. An integer right after a text is that text's length.
    template <typename T>
    T Take() {
        const char* before = std::exchange(text, nullptr);
        if constexpr (std::is_same_v<T, const char*>) {
            const int i = Pick(static_cast<int>(std::size(kTexts)) + 1);
            return text = i == 0 ? nullptr : kTexts[i - 1].c_str();
        } else if constexpr (std::is_same_v<T, uint32_t>) {
            return own.empty() || Pick(2) ? static_cast<uint32_t>(Pick(64))
                                          : own[static_cast<size_t>(Pick(int(own.size())))];
        } else if constexpr (std::is_same_v<T, int32_t>) {
            return before ? static_cast<int32_t>(std::strlen(before)) : Pick(5) - 2;
        } else if constexpr (std::is_same_v<T, float>) {
            return static_cast<float>(Pick(1000)) / 20.0f - 10.0f;
        } else if constexpr (std::is_same_v<T, float*>) {
            return out;
        } else if constexpr (std::is_same_v<T, const float*>) {
            return Pick(4) == 0 ? nullptr : out;  // samples: more than the largest count picked
        } else if constexpr (std::is_same_v<T, AnimeEvent*>) {
            return &event;
        } else if constexpr (std::is_same_v<T, AnimeMeshVertex*>) {
            return Pick(4) == 0 ? nullptr : mesh;
        } else if constexpr (std::is_same_v<T, AnimeDrawMeshFn>) {
            return Pick(2) == 0 ? nullptr : &host::DrawMesh;
        } else if constexpr (std::is_same_v<T, AnimeEnqueueTaskFn>) {
            return Pick(4) == 0 ? nullptr : &TaskPool_Enqueue;
        } else if constexpr (std::is_same_v<T, AnimeFinishTaskFn>) {
            return Pick(4) == 0 ? nullptr : &TaskPool_Finish;
        } else if constexpr (std::is_same_v<T, void*>) {
            return gPool;
        } else {
            return &kTables[Pick(2)];
        }
    }
};

template <typename R, typename... P>
void Call(R (*function)(P...), Worker& w) {
    const std::tuple<P...> args{w.Take<P>()...};  // braces take the arguments in order
    std::apply(function, args);
}

// Every export, by name; those that would end or move another worker's
// instances are called below, in order, instead.
#define KIVANIME_STRESS_CALL(name) {#name, [](Worker& w) { Call(&name, w); }},
const std::pair<std::string, void (*)(Worker&)> kCalls[] = {
    KIVANIME_FOR_EACH_EXPORT(KIVANIME_STRESS_CALL)};
#undef KIVANIME_STRESS_CALL
const std::set<std::string> kOrdered = {"Anime_Shutdown", "Anime_UnloadAll",
                                        "Anime_DestroyAllInstances", "Anime_DestroyInstance",
                                        "Anime_SetPosition"};

// Random calls until the time is up. The bound keeps slow builds
// (sanitizers, emulators) short without making the outcome depend on timing:
// every check holds however far the threads got.
void Work(Worker& w, std::chrono::steady_clock::time_point stopAt) {
    for (int op = 0; op < 6000 && ((op & 31) != 0 || std::chrono::steady_clock::now() < stopAt);
         ++op) {
        const auto& [name, call] = kCalls[w.Pick(static_cast<int>(std::size(kCalls)))];
        const int k = w.Pick(3);
        if (kOrdered.count(name) == 0) {
            call(w);
        } else if (k == 0 && w.own.size() < 6) {
            const uint32_t created = Anime_CreateInstance("a");
            Anime_SetPosition(created, static_cast<float>(created), -static_cast<float>(created));
            created != 0 ? w.own.push_back(created) : void(++w.faults);
        } else if (k == 1 && !w.own.empty()) {
            const auto i = w.own.begin() + w.Pick(static_cast<int>(w.own.size()));
            w.faults += !InPlace(*i);
            Anime_DestroyInstance(*i);
            w.own.erase(i);
        } else {
            // Records that instances play are replaced; a failed load's
            // reason belongs to the thread that made it.
            Anime_LoadMotion("a", kWave.c_str());
            Anime_LoadExpression("a", (kHero + "expressions/smile.json").c_str());
            w.faults += Anime_LoadModel("absent", "no/such/file.json") != 0 ||
                        std::strstr(Anime_GetLastError(), "no/such/file.json") == nullptr;
        }
    }
}

TEST_F(ThreadStress, ExportsFromManyThreadsStayConsistent) {
    ASSERT_EQ(Anime_LoadExpression("a", (kHero + "expressions/smile.json").c_str()), 1);
    gPool = TaskPool_Create(2);
    ASSERT_NE(gPool, nullptr);
    std::vector<Worker> workers(4);
    const auto stopAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < workers.size(); ++i) {
        workers[i].rng.seed(static_cast<unsigned>(1234 + i));
        threads.emplace_back(Work, std::ref(workers[i]), stopAt);
    }
    for (std::thread& t : threads) {
        t.join();
    }
    Anime_SetTaskSystem(nullptr, nullptr, 1, nullptr);
    TaskPool_Destroy(gPool);

    // Every thread is done: the host state may be read without the lock.
    // Dropping the other models leaves exactly the workers' own instances of
    // "a", each where its worker put it, with their textures.
    for (const std::string& text : kTexts) {
        Anime_UnloadModel(text.c_str());
    }
    size_t ownLive = 0;
    for (const Worker& w : workers) {
        ownLive += w.own.size();
        EXPECT_EQ(w.faults, 0);
        for (uint32_t mine : w.own) {
            EXPECT_TRUE(InPlace(mine)) << mine;
        }
    }
    EXPECT_GT(host::draws, 0);
    EXPECT_EQ(host::faults, 0);
    EXPECT_EQ(Anime_GetInstanceCount(), static_cast<int32_t>(ownLive));
    EXPECT_EQ(host::live.size(), ownLive * 37);  // the hero's textures, both outfits
    // Tearing down in steps gives every texture back exactly once.
    Anime_DestroyAllInstances();
    EXPECT_EQ(Anime_HasInstances(), 0);
    EXPECT_TRUE(host::live.empty());
    Anime_UnloadAll();
    EXPECT_EQ(Anime_CreateInstance("a"), 0u);
}

// About 2 MB of model, formatted as exporters write it: some 7,000 parts in
// a tree, each with a texture and every transform field.
std::string LargeModelJson() {
    std::string out = R"({"textures": {"t": "t.png"}, "parts": [)";
    for (int i = 0; out.size() < 2'000'000; ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += R"(  {"name": "part_)" + std::to_string(i) + R"(", "texture": "t")";
        if (i > 0) {
            out += R"(, "parent": "part_)" + std::to_string((i - 1) / 3) + '"';
        }
        out += R"(, "position": [1.5, -2.25], "rotation": 0.0125, "scale": [1.01, 0.99], )"
               R"("alpha": 0.95, "anchor": [0.5, 0.25], "srcRect": [0, 64, 64, 64], )"
               R"("drawOrder": 7, "depth": -3.5})";
    }
    return out + "]}";
}

// Frames on 100 instances while another thread loads (and drops) a large
// model again and again: the load reads and parses without holding up the
// frames, and only storing the model takes the lock. Under ThreadSanitizer
// this shows the read sharing nothing unguarded with the frame.
TEST_F(ThreadStress, FramesRunWhileALargeModelLoads) {
    for (int i = 0; i < 100; ++i) {
        const uint32_t id = Anime_CreateInstance("a");
        ASSERT_EQ(Anime_PlayMotion(id, "idle", 1.0f), 1);
        Anime_SetDrawOrder(id, i % 3);
    }
    const std::string json = LargeModelJson();
    const std::string path = testing::TempDir() + "kivanime_large_model.json";
    ASSERT_TRUE(std::ofstream(path, std::ios::binary) << json);

    std::atomic<int> loads{0};
    std::atomic<bool> stop{false};
    int64_t loaderFaults = 0;
    std::thread loader([&] {
        // Loads from the file and from memory; a name loaded already is not read again.
        for (int i = 0; !stop.load() && i < 40; ++i) {
            loaderFaults += i % 2 == 0 ? Anime_LoadModel("big", path.c_str()) != 1
                                       : Anime_LoadModelFromMemory(
                                             "big", json.c_str(), static_cast<int32_t>(json.size()),
                                             nullptr) != 1;
            loaderFaults += Anime_LoadModel("big", "no/such/file.json") != 1;
            Anime_UnloadModel("big");
            ++loads;
        }
    });
    int frames = 0;
    while (loads.load() < 3) {
        Anime_Update(16.0f);
        Anime_Render();
        ++frames;
    }
    stop = true;
    loader.join();
    std::remove(path.c_str());
    EXPECT_EQ(loaderFaults, 0);
    EXPECT_GT(frames, 0);
    EXPECT_EQ(host::faults, 0);
    EXPECT_EQ(Anime_GetInstanceCount(), 100);
    Anime_Shutdown();
    EXPECT_TRUE(host::live.empty());
}

#if !defined(_WIN32)
// A load whose file is a named pipe stays inside Anime_LoadModel, reading,
// until the test writes the model into the pipe; meanwhile frames and other
// calls go on. Had the load held the lock while reading, the frames would
// wait for the pipe: after a generous deadline the test writes it anyway and
// fails. (Windows has no named pipes in the file system; the test above
// runs there.)
TEST_F(ThreadStress, FramesDoNotWaitForAFileBeingRead) {
    const uint32_t id = Anime_CreateInstance("a");
    ASSERT_NE(id, 0u);
    const std::string pipe = testing::TempDir() + "kivanime_model_pipe.json";
    std::remove(pipe.c_str());
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);

    std::atomic<int32_t> loaded{-1};
    std::string loaderError = "not set";
    std::thread loader([&] {
        loaded = Anime_LoadModel("piped", pipe.c_str());
        loaderError = Anime_GetLastError();
    });
    // Opening the pipe for writing returns once the load has opened it for
    // reading: the load is under way.
    const int writer = open(pipe.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    std::atomic<bool> framesDone{false};
    std::thread frames([&] {
        for (int i = 0; i < 3; ++i) {
            Anime_Update(16.0f);
            Anime_Render();
        }
        Anime_SetPosition(id, 5.0f, 6.0f);
        framesDone = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!framesDone.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(framesDone.load()) << "frames waited for a model file being read";
    EXPECT_EQ(loaded.load(), -1);
    // The same name stored meanwhile from another file: that model stays,
    // and the load still under way succeeds as if it had found it cached.
    ASSERT_EQ(Anime_LoadModel("piped", (kHero + "model.json").c_str()), 1);
    const std::string json = R"({"textures": {"t": "t.png"}, "parts": [{"name": "p"}]})";
    EXPECT_EQ(write(writer, json.data(), json.size()), static_cast<ssize_t>(json.size()));
    close(writer);
    loader.join();
    frames.join();
    std::remove(pipe.c_str());
    EXPECT_EQ(loaded.load(), 1);
    EXPECT_EQ(loaderError, "");
    const uint32_t piped = Anime_CreateInstance("piped");
    ASSERT_NE(piped, 0u);
    float transform[6];
    EXPECT_EQ(Anime_GetPartTransform(piped, "p", transform), 0)
        << "the piped model replaced the stored one";
}
#endif

}  // namespace
