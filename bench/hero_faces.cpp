// What a living face costs: the sample puppet with its parameters, bindings
// and all three drivers (a blinker, a breather and lip sync fed a voice's
// worth of samples every frame), against the same puppet with the
// "parameters" and "bindings" keys taken out of its model, so that only the
// face machinery differs. Both play idle with the wave overlay and smile, at
// 100 instances. Every frame both cases are fed the voice (the plain hero
// has no lip sync to hear it: the game's frame is the same, and the feed's
// calls between updates slow the update after them by as much as the face
// machinery costs, so only one case fed would not measure the face). Reports
// the CPU ns per instance of Anime_Update alone (feeding is the game's call,
// outside the update); the face case also x_plain, its time over the plain
// case's latest run (the plain case is registered first).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kivanime.h"

namespace kivanime::bench {

namespace {

constexpr float kFrameMs = 16.6667f;
constexpr int kInstances = 100;
// One frame of a 16 kHz voice at 60 frames a second.
constexpr int kSamplesPerFrame = 267;

double gPlainNs = 0.0;

int32_t LoadTexture(const uint16_t* /*path*/) {
    return 0;
}

std::string HeroFile(const char* relative) {
    return std::string(KIVANIME_BENCH_HERO_DIR) + "/" + relative;
}

// The hero's model text; without its face keys when `plain` (renamed, so the
// loader skips them as unknown keys).
std::string HeroModel(bool plain) {
    std::ifstream in(HeroFile("model.json"), std::ios::binary);
    std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* key : {"\"parameters\": [", "\"bindings\": ["}) {
        const size_t at = json.find(key);
        if (at == std::string::npos) {
            std::fprintf(stderr, "the hero's model has no %s\n", key);
            std::abort();
        }
        if (plain) {
            json.insert(at + 1, "unused_");
        }
    }
    return json;
}

std::vector<uint32_t> SetUpHeroes(bool faces) {
    Anime_Shutdown();
    AnimeHostCallbacks host{LoadTexture, nullptr, nullptr, [](const AnimeDrawParams*) {}};
    Anime_Init(&host);
    const std::string json = HeroModel(!faces);
    if (!Anime_LoadModelFromMemory("hero", json.data(), static_cast<int32_t>(json.size()),
                                   KIVANIME_BENCH_HERO_DIR)) {
        std::fprintf(stderr, "%s\n", Anime_GetLastError());
        std::abort();
    }
    for (const char* motion : {"motions/idle.json", "motions/wave.json"}) {
        Anime_LoadMotion("hero", HeroFile(motion).c_str());
    }
    Anime_LoadExpression("hero", HeroFile("expressions/smile.json").c_str());
    std::vector<uint32_t> ids;
    for (int i = 0; i < kInstances; ++i) {
        const uint32_t id = Anime_CreateInstance("hero");
        const float f = static_cast<float>(i % 31) / 31.0f;
        Anime_PlayMotion(id, "idle", 0.9f + 0.2f * f);
        Anime_PlayOverlay(id, "wave", 1.0f, 0.6f);
        Anime_SetExpression(id, "smile");
        if (faces) {
            Anime_SetParameter(id, "AngleX", -20.0f + 40.0f * f);
            Anime_SetParameter(id, "AngleY", 7.0f);
            Anime_SetAutoBlink(id, "EyeOpen", 3000.0f, 160.0f);
            Anime_SetBreath(id, "Breath", 3200.0f, 0.5f);
            Anime_SetLipSync(id, "MouthOpen", 4.0f);
        }
        ids.push_back(id);
    }
    return ids;
}

// A voice-like block: a buzz at 150 Hz, loud enough to open the mouth.
std::vector<float> VoiceBlock() {
    std::vector<float> samples(kSamplesPerFrame);
    for (int i = 0; i < kSamplesPerFrame; ++i) {
        samples[static_cast<size_t>(i)] = (i * 150 % 16000 < 8000) ? 0.2f : -0.2f;
    }
    return samples;
}

double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// One frame: every instance is fed its voice, then the update, which alone
// is timed: CPU ns of this thread.
double Frame(const std::vector<uint32_t>& ids, const std::vector<float>& voice) {
    for (uint32_t id : ids) {
        Anime_FeedAudio(id, voice.data(), kSamplesPerFrame, 16000);
    }
    const double start = ThreadCpuNs();
    Anime_Update(kFrameMs);
    return ThreadCpuNs() - start;
}

void HeroUpdateCase(benchmark::State& state, bool faces) {
    const std::vector<uint32_t> ids = SetUpHeroes(faces);
    const std::vector<float> voice = VoiceBlock();
    // Two seconds of frames first: the expression at full weight, the first
    // blinks under way.
    for (int i = 0; i < 120; ++i) {
        Frame(ids, voice);
    }
    const double start = ThreadCpuNs();
    for (auto _ : state) {
        Frame(ids, voice);
        benchmark::ClobberMemory();
    }
    const double perInstance =
        (ThreadCpuNs() - start) / (static_cast<double>(state.iterations()) * kInstances);
    Anime_Shutdown();
    state.counters["ns_per_instance"] = perInstance;
    if (!faces) {
        gPlainNs = perInstance;
    } else if (gPlainNs > 0.0) {
        state.counters["x_plain"] = perInstance / gPlainNs;
    }
}

void HeroUpdate(benchmark::State& state) {
    HeroUpdateCase(state, false);
}

void HeroUpdateFaces(benchmark::State& state) {
    HeroUpdateCase(state, true);
}

}  // namespace

}  // namespace kivanime::bench

namespace kb = kivanime::bench;

BENCHMARK(kb::HeroUpdate)->Name("HeroUpdate");
BENCHMARK(kb::HeroUpdateFaces)->Name("HeroUpdateFaces");
