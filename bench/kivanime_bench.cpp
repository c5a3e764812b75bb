// The benchmark suite. Every per-frame case runs at 1, 100 and 1,000
// instances of the benchmark character and reports:
//   ns_per_part       CPU time per part per frame (40 parts per instance)
//   x_floor           that time over the latest floor run at the same count
//                     (when a floor has run before the case)
//   allocs_per_frame  heap allocations per frame after warm-up
// and, once, the heap bytes a loaded model and an instance of it hold.
// The summary table divides medians by the floors' medians instead, which
// holds whatever order the repetitions run in.
//
// Extra flag: --table=<file> writes the summary table (Markdown) there.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "alloc_count.h"
#include "floor.h"
#include "kivanime.h"
#include "scene.h"
#include "table_reporter.h"

namespace kivanime::bench {

namespace {

constexpr float kFrameMs = 16.6667f;

// Floor ns per part, by instance count, of the latest floor run.
std::map<int64_t, double> gFloorUpdate;
std::map<int64_t, double> gFloorDraw;

// CPU time of the calling thread in nanoseconds. The machine is shared with
// builds and other jobs, so wall time would measure them as well.
double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Times the loop that follows its construction (CPU time of this thread) and
// counts allocations made during it.
class Measure {
public:
    Measure() : allocations_(alloc::AllocationCount()), start_(ThreadCpuNs()) {}

    // Sets ns_per_part, allocs_per_frame and, when a floor is known,
    // x_floor; returns ns per part.
    double finish(benchmark::State& state, double partsPerFrame, double floorNs) {
        const double ns = ThreadCpuNs() - start_;
        const uint64_t allocations = alloc::AllocationCount() - allocations_;
        const double frames = static_cast<double>(state.iterations());
        const double perPart = ns / (frames * partsPerFrame);
        state.counters["ns_per_part"] = perPart;
        state.counters["allocs_per_frame"] = static_cast<double>(allocations) / frames;
        if (floorNs > 0.0) {
            state.counters["x_floor"] = perPart / floorNs;
        }
        return perPart;
    }

private:
    uint64_t allocations_;
    double start_;
};

double FloorOf(const std::map<int64_t, double>& floors, int64_t instances) {
    auto it = floors.find(instances);
    return it == floors.end() ? 0.0 : it->second;
}

double Parts(int64_t instances) {
    return static_cast<double>(instances) * kPartsPerInstance;
}

void Floor_Update(benchmark::State& state) {
    const int64_t n = state.range(0);
    FloorScene scene = MakeFloorScene(static_cast<int>(n));
    FloorUpdate(scene, kFrameMs);
    Measure m;
    for (auto _ : state) {
        FloorUpdate(scene, kFrameMs);
        benchmark::ClobberMemory();
    }
    const double perPart = m.finish(state, Parts(n), 0.0);
    state.counters["x_floor"] = 1.0;
    gFloorUpdate[n] = perPart;
}

void Floor_Draw(benchmark::State& state) {
    const int64_t n = state.range(0);
    FloorScene scene = MakeFloorScene(static_cast<int>(n));
    FloorUpdate(scene, kFrameMs);
    Measure m;
    for (auto _ : state) {
        FloorDraw(scene);
        benchmark::ClobberMemory();
    }
    const double perPart = m.finish(state, Parts(n), 0.0);
    state.counters["x_floor"] = 1.0;
    gFloorDraw[n] = perPart;
}

void UpdateCase(benchmark::State& state, bool motionOnly, bool crossFade = false,
                bool partOffsets = false) {
    const int64_t n = state.range(0);
    SceneOptions options;
    options.instances = static_cast<int>(n);
    options.motionOnly = motionOnly;
    options.crossFade = crossFade;
    options.partOffsets = partOffsets;
    SetUpScene(options);
    Measure m;
    for (auto _ : state) {
        Anime_Update(kFrameMs);
    }
    m.finish(state, Parts(n), FloorOf(gFloorUpdate, n));
    TearDownScene();
}

void Update(benchmark::State& state) {
    UpdateCase(state, false);
}

void UpdateMotion(benchmark::State& state) {
    UpdateCase(state, true);
}

// As UpdateMotion, with every main motion in the middle of a cross-fade.
void UpdateCrossFade(benchmark::State& state) {
    UpdateCase(state, true, true);
}

// Update with an offset from game code on every part.
void UpdateOffsets(benchmark::State& state) {
    UpdateCase(state, false, false, true);
}

void RenderCase(benchmark::State& state, bool parallax, bool curvature, bool sameAngles = false,
                bool blendModes = false) {
    const int64_t n = state.range(0);
    SceneOptions options{static_cast<int>(n), parallax, curvature, sameAngles};
    options.blendModes = blendModes;
    SetUpScene(options);
    const uint64_t draws = DrawCount();
    Measure m;
    for (auto _ : state) {
        Anime_Render();
    }
    m.finish(state, Parts(n), FloorOf(gFloorDraw, n));
    state.counters["draws_per_frame"] =
        static_cast<double>(DrawCount() - draws) / static_cast<double>(state.iterations());
    TearDownScene();
}

void Render(benchmark::State& state) {
    RenderCase(state, false, false);
}

void Render3D(benchmark::State& state) {
    RenderCase(state, true, false);
}

// Render with every part in a blend mode: the same work, other flags.
void RenderBlend(benchmark::State& state) {
    RenderCase(state, false, false, false, true);
}

void Render3DSame(benchmark::State& state) {
    RenderCase(state, true, false, true);
}

void Render3DCurved(benchmark::State& state) {
    RenderCase(state, true, true);
}

void Frame3D(benchmark::State& state) {
    const int64_t n = state.range(0);
    SetUpScene({static_cast<int>(n), true, false});
    Measure m;
    for (auto _ : state) {
        Anime_Update(kFrameMs);
        Anime_Render();
    }
    const double floor = FloorOf(gFloorUpdate, n) + FloorOf(gFloorDraw, n);
    m.finish(state, Parts(n), FloorOf(gFloorUpdate, n) > 0.0 ? floor : 0.0);
    TearDownScene();
}

// Two crowds taking turns, the other one hidden (neither updated nor
// drawn): adds the CPU time of each one's frames (an update, and a render
// when `render`) to ns[0] and ns[1]; returns the allocations meanwhile
// (read before any counter is set: setting one allocates).
uint64_t TakeTurns(benchmark::State& state, const std::vector<uint32_t>& first,
                   const std::vector<uint32_t>& second, bool render, double ns[2]) {
    const uint64_t allocations = alloc::AllocationCount();
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            for (uint32_t id : second) {
                Anime_SetVisible(id, turn);
            }
            for (uint32_t id : first) {
                Anime_SetVisible(id, 1 - turn);
            }
            const double start = ThreadCpuNs();
            Anime_Update(kFrameMs);
            if (render) {
                Anime_Render();
            }
            ns[turn] += ThreadCpuNs() - start;
        }
    }
    return alloc::AllocationCount() - allocations;
}

// The cost of bending meshes: frames (update and render) of the caped
// character bent by its motion and drawn as a mesh, less frames of the same
// character with a cape that only turns, drawn as a sprite; per vertex.
void MeshDeform(benchmark::State& state) {
    const int64_t n = state.range(0);
    const MeshScene scene = SetUpMeshScene(static_cast<int>(n));
    const uint64_t meshes = MeshDrawCount();
    double ns[2] = {0.0, 0.0};
    const uint64_t allocated = TakeTurns(state, scene.flat, scene.bent, true, ns);
    const double frames = static_cast<double>(state.iterations());
    const double vertices = frames * static_cast<double>(n) * kMeshVertices;
    state.counters["ns_per_vertex"] = (ns[1] - ns[0]) / vertices;
    state.counters["ns_per_frame_bent"] = ns[1] / frames;
    state.counters["ns_per_frame_flat"] = ns[0] / frames;
    state.counters["meshes_per_frame"] = static_cast<double>(MeshDrawCount() - meshes) / frames;
    state.counters["allocs_per_frame"] = static_cast<double>(allocated) / frames;
    TearDownScene();
}

// The cost of bindings: updates of a crowd whose parts follow two breathing
// parameters through bindings, less updates of the same crowd without the
// bindings (its parameters still breathing); per binding, or per bent vertex
// for the deform case.
void BindingCase(benchmark::State& state, BindingKind kind) {
    const int64_t n = state.range(0);
    const BindingScene scene = SetUpBindingScene(static_cast<int>(n), kind);
    double ns[2] = {0.0, 0.0};
    const uint64_t allocated = TakeTurns(state, scene.plain, scene.bound, false, ns);
    const double frames = static_cast<double>(state.iterations());
    const double extra = (ns[1] - ns[0]) / (frames * static_cast<double>(n));
    if (kind == BindingKind::Deform) {
        state.counters["ns_per_vertex"] = extra / kMeshVertices;
    } else {
        state.counters["ns_per_binding"] = extra / scene.bindingsPerInstance;
    }
    state.counters["ns_per_update_plain"] = ns[0] / frames;
    state.counters["ns_per_update_bound"] = ns[1] / frames;
    state.counters["allocs_per_frame"] = static_cast<double>(allocated) / frames;
    TearDownScene();
}

// The cost of a mask: frames (update and render) of the iris clipped by the
// 16-triangle eye, less frames of the same puppet with the iris drawn whole;
// per clipped part. The two crowds take turns, as MeshDeform's.
void MaskClip(benchmark::State& state) {
    const int64_t n = state.range(0);
    const MaskScene scene = SetUpMaskScene(static_cast<int>(n), state.range(1) != 0);
    const uint64_t meshes = MeshDrawCount();
    double ns[2] = {0.0, 0.0};
    const uint64_t allocated = TakeTurns(state, scene.plain, scene.masked, true, ns);
    const double frames = static_cast<double>(state.iterations());
    state.counters["ns_per_clip"] = (ns[1] - ns[0]) / (frames * static_cast<double>(n));
    state.counters["ns_per_frame_masked"] = ns[1] / frames;
    state.counters["ns_per_frame_plain"] = ns[0] / frames;
    state.counters["meshes_per_frame"] = static_cast<double>(MeshDrawCount() - meshes) / frames;
    state.counters["allocs_per_frame"] = static_cast<double>(allocated) / frames;
    TearDownScene();
}

void BindingOne(benchmark::State& state) {
    BindingCase(state, BindingKind::One);
}

void BindingTwo(benchmark::State& state) {
    BindingCase(state, BindingKind::Two);
}

void BindingDeform(benchmark::State& state) {
    BindingCase(state, BindingKind::Deform);
}

void CreateDestroy(benchmark::State& state) {
    const int64_t n = state.range(0);
    SetUpScene({0, false, false});
    const double start = ThreadCpuNs();
    for (auto _ : state) {
        for (int64_t i = 0; i < n; ++i) {
            benchmark::DoNotOptimize(Anime_CreateInstance("bench"));
        }
        Anime_DestroyAllInstances();
    }
    const double ns = ThreadCpuNs() - start;
    state.counters["ns_per_instance"] =
        ns / (static_cast<double>(state.iterations()) * static_cast<double>(n));
    TearDownScene();
}

// Heap bytes held, through the counting operator new the library allocates
// with: by the loaded character (model, two motions, an expression), and per
// instance of it once it has played (its scratch space sized).
void Memory(benchmark::State& state) {
    constexpr int kInstances = 1000;
    int64_t model = 0;
    int64_t instances = 0;
    alloc::TrackBytes(true);
    for (auto _ : state) {
        SetUpScene({0, false, false});
        const int64_t loaded = alloc::LiveBytes();
        Anime_UnloadModel("bench");
        model = loaded - alloc::LiveBytes();
        SetUpScene({kInstances, true, false});
        const int64_t crowd = alloc::LiveBytes();
        SetUpScene({0, false, false});
        instances = crowd - alloc::LiveBytes();
    }
    state.counters["bytes_per_model"] = static_cast<double>(model);
    state.counters["bytes_per_instance"] = static_cast<double>(instances) / kInstances;
    TearDownScene();
    alloc::TrackBytes(false);
}

template <typename Load>
void Loading(benchmark::State& state, uint64_t bytes, Load load) {
    const uint64_t allocations = alloc::AllocationCount();
    const double start = ThreadCpuNs();
    for (auto _ : state) {
        load();
    }
    const double seconds = (ThreadCpuNs() - start) / 1e9;
    state.counters["allocs_per_load"] =
        static_cast<double>(alloc::AllocationCount() - allocations) /
        static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.counters["MB_per_s"] =
        static_cast<double>(bytes) * static_cast<double>(state.iterations()) / seconds / 1e6;
}

// Loads the model file and unloads it again, in every iteration.
void LoadingModel(benchmark::State& state, const std::string& path, uint64_t bytes) {
    TearDownScene();
    Loading(state, bytes, [&path] {
        if (Anime_LoadModel("model", path.c_str()) != 1) {
            std::abort();
        }
        Anime_UnloadModel("model");
    });
}

void LoadModel(benchmark::State& state) {
    LoadingModel(state, GetLargeFiles().model, GetLargeFiles().modelBytes);
}

// The benchmark character's model repeated to 6,000 parts, one value a line.
void LoadCrowdModel(benchmark::State& state) {
    LoadingModel(state, GetLargeFiles().crowdModel, GetLargeFiles().crowdModelBytes);
}

// The sample puppet's model (8 KB): what a small file costs beyond its bytes.
void LoadHeroModel(benchmark::State& state) {
    const std::string path = std::string(KIVANIME_BENCH_HERO_DIR) + "/model.json";
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    LoadingModel(state, path, static_cast<uint64_t>(in.tellg()));
}

void LoadMotion(benchmark::State& state) {
    const LargeFiles& files = GetLargeFiles();
    TearDownScene();
    Anime_LoadModel("large", files.model.c_str());
    Loading(state, files.motionBytes, [] {
        if (Anime_LoadMotion("large", GetLargeFiles().motion.c_str()) != 1) {
            std::abort();
        }
    });
    TearDownScene();
}

void LoadExpression(benchmark::State& state) {
    const LargeFiles& files = GetLargeFiles();
    TearDownScene();
    Anime_LoadModel("large", files.model.c_str());
    Loading(state, files.expressionBytes, [] {
        if (Anime_LoadExpression("large", GetLargeFiles().expression.c_str()) != 1) {
            std::abort();
        }
    });
    TearDownScene();
}

void Counts(benchmark::internal::Benchmark* b) {
    b->Arg(1)->Arg(100)->Arg(1000);
}

}  // namespace

}  // namespace kivanime::bench

namespace kb = kivanime::bench;

BENCHMARK(kb::Floor_Update)->Name("Floor_Update")->Apply(kb::Counts);
BENCHMARK(kb::Floor_Draw)->Name("Floor_Draw")->Apply(kb::Counts);
BENCHMARK(kb::Update)->Name("Update")->Apply(kb::Counts);
BENCHMARK(kb::UpdateMotion)->Name("UpdateMotion")->Apply(kb::Counts);
BENCHMARK(kb::UpdateCrossFade)->Name("UpdateCrossFade")->Apply(kb::Counts);
BENCHMARK(kb::UpdateOffsets)->Name("UpdateOffsets")->Apply(kb::Counts);
BENCHMARK(kb::Render)->Name("Render")->Apply(kb::Counts);
BENCHMARK(kb::Render3D)->Name("Render3D")->Apply(kb::Counts);
BENCHMARK(kb::RenderBlend)->Name("RenderBlend")->Apply(kb::Counts);
BENCHMARK(kb::Render3DSame)->Name("Render3DSame")->Apply(kb::Counts);
BENCHMARK(kb::Render3DCurved)->Name("Render3DCurved")->Apply(kb::Counts);
BENCHMARK(kb::Frame3D)->Name("Frame3D")->Apply(kb::Counts);
BENCHMARK(kb::MeshDeform)->Name("MeshDeform")->Arg(1000);
BENCHMARK(kb::BindingOne)->Name("BindingOne")->Arg(100);
BENCHMARK(kb::BindingTwo)->Name("BindingTwo")->Arg(100);
BENCHMARK(kb::BindingDeform)->Name("BindingDeform")->Arg(100);
BENCHMARK(kb::MaskClip)->Name("MaskClip")->Args({1000, 0})->Args({1000, 1});
BENCHMARK(kb::CreateDestroy)->Name("CreateDestroy")->Apply(kb::Counts);
BENCHMARK(kb::Memory)->Name("Memory")->Iterations(1)->Repetitions(1);
BENCHMARK(kb::LoadModel)->Name("LoadModel")->Unit(benchmark::kMillisecond);
BENCHMARK(kb::LoadCrowdModel)->Name("LoadCrowdModel")->Unit(benchmark::kMillisecond);
BENCHMARK(kb::LoadHeroModel)->Name("LoadHeroModel")->Unit(benchmark::kMicrosecond);
BENCHMARK(kb::LoadMotion)->Name("LoadMotion")->Unit(benchmark::kMillisecond);
BENCHMARK(kb::LoadExpression)->Name("LoadExpression")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    std::string tablePath;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--table=", 8) == 0) {
            tablePath = argv[i] + 8;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    kb::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bool allMet = false;
    const std::string table = reporter.Markdown(allMet);
    std::cout << "\n" << table;
    if (!tablePath.empty()) {
        std::ofstream(tablePath) << table;
    }
    benchmark::Shutdown();
    kb::RemoveLargeFiles();
    return 0;
}
