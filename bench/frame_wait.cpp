// How long a frame call can wait while another thread loads a large model:
// one thread loads and unloads the generated 2 MB model (about 6,000 parts)
// in a loop while the timed loop runs Anime_Update and Anime_Render on 100
// instances of the benchmark character. Reports, in wall-clock time (waiting
// is what is measured), the longest call and the 99th percentile, and how
// many loads completed meanwhile (a run spans at least three). The same frames without the loading
// thread (argument 0) give the figures a busy machine's scheduling alone accounts for.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "kivanime.h"
#include "scene.h"

namespace kivanime::bench {

namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void FrameWhileLoading(benchmark::State& state) {
    const LargeFiles& files = GetLargeFiles();
    SceneOptions options;
    options.instances = 100;
    SetUpScene(options);
    std::atomic<bool> stop{false};
    std::atomic<int64_t> loads{0};
    const bool loading = state.range(0) != 0;
    std::thread loader([&] {
        while (loading && !stop.load()) {
            if (Anime_LoadModel("large", files.model.c_str()) != 1) {
                std::abort();
            }
            Anime_UnloadModel("large");
            ++loads;
        }
    });
    // Until a first load has gone through.
    while (loading && loads.load() == 0) {
        Anime_Update(16.6667f);
        Anime_Render();
    }
    // One run of at least 600 frames that spans at least three whole loads.
    std::vector<double> calls;
    calls.reserve(1u << 16);
    const int64_t loadsBefore = loads.load();
    for (auto _ : state) {
        for (int frame = 0; frame < 600 || (loading && loads.load() < loadsBefore + 4); ++frame) {
            auto start = std::chrono::steady_clock::now();
            Anime_Update(16.6667f);
            calls.push_back(MillisecondsSince(start));
            start = std::chrono::steady_clock::now();
            Anime_Render();
            calls.push_back(MillisecondsSince(start));
        }
    }
    const int64_t loadsDuring = loads.load() - loadsBefore;
    stop = true;
    loader.join();
    TearDownScene();
    std::sort(calls.begin(), calls.end());
    state.counters["longest_call_ms"] = calls.back();
    state.counters["p99_call_ms"] = calls[calls.size() * 99 / 100];
    state.counters["median_call_ms"] = calls[calls.size() / 2];
    state.counters["loads"] = static_cast<double>(loadsDuring);
    state.counters["frames"] = static_cast<double>(calls.size() / 2);
}

}  // namespace

}  // namespace kivanime::bench

BENCHMARK(kivanime::bench::FrameWhileLoading)
    ->Name("FrameWhileLoading")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
