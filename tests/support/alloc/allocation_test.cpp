// The heap seen from the C interface, with the global allocation functions
// replaced in this test program (its own, so that no other test runs with the
// replacement; on Linux the shared library's allocations go through it too).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "kivanime.h"

#include "alloc_count.h"
#include "task_pool.h"

namespace kivanime::test {
namespace {

const std::string kHero = std::string(KIVANIME_SOURCE_DIR) + "/examples/hero/";
const std::string kScene = std::string(KIVANIME_SOURCE_DIR) + "/tests/fixtures/bench-character/";

int32_t gLoaded = 0;
int32_t gReleased = 0;
bool gRefuse = false;  // the host refuses every texture
float gDrawSum = 0.0f;
int32_t gDraws = 0;

const AnimeHostCallbacks kHost{
    [](const uint16_t*) { return gRefuse ? -1 : gLoaded++; }, [](int32_t) { ++gReleased; }, nullptr,
    [](const AnimeDrawParams* p) {
        ++gDraws;
        gDrawSum += p->x + p->y + p->rotation + p->alpha + static_cast<float>(p->texture);
    }};

int32_t gMeshes = 0;
void DrawMesh(const AnimeDrawParams*, const AnimeMeshVertex* vertices, int32_t count,
              const uint16_t*, int32_t) {
    ++gMeshes;
    gDrawSum += vertices[count - 1].x;
}

// A part with a mesh of `vertices` vertices (a fan) and a motion bending it.
std::string MeshPart(int vertices) {
    std::string list = "[0, 0, 0, 0]";
    std::string triangles;
    std::string deform;
    for (int k = 1; k < vertices; ++k) {
        list += ", [" + std::to_string(k) + ", " + std::to_string(k % 3) + ", 0.5, 0.5]";
        triangles += (k > 1 ? ", 0, " : "0, ") + std::to_string(k) + ", " + std::to_string(k - 1);
        deform += (k > 1 ? ", " : "") + std::to_string(k % 5) + ", 1";
    }
    return R"({"name": "mesh", "texture": "t", "vertices": [)" + list + R"(], "triangles": [)" +
           triangles + R"(]}], "motions": {"bend": {"loop": true, "tracks": [{"part": "mesh",
           "keyframes": [{"time": 0}, {"time": 500, "deform": [)" +
           deform + "]}]}]}}}";
}

// What the running instance draws, as a fingerprint (a frame of no time
// changes nothing).
std::pair<int32_t, float> Frame() {
    gDraws = 0;
    gDrawSum = 0.0f;
    Anime_Update(0.0f);
    Anime_Render();
    return {gDraws, gDrawSum};
}

// Whether `use` fails on a new instance of "hero" (destroyed again).
bool Unusable(int32_t (*use)(uint32_t)) {
    const uint32_t id = Anime_CreateInstance("hero");
    const bool unusable = use(id) == 0;
    Anime_DestroyInstance(id);
    return unusable;
}

struct Operation {
    const char* what;
    std::function<int64_t()> call;  // 0 is the failure value
    std::function<bool()> absent;   // the result of a failed call is nowhere to be seen
};

// Running out of memory is a failure like any other: each loading export and
// instance creation runs with its 1st, 2nd, 3rd... allocation failing until
// it succeeds. Each failed call returns the failure value with the
// out-of-memory code, gives back all it allocated (textures too) and leaves
// the loaded models and the running instance as they were.
TEST(AllocationFailure, FailedLoadsAndCreationsLeaveEverythingAsItWas) {
    Anime_Init(&kHost);
    ASSERT_EQ(Anime_LoadModel("base", (kHero + "model.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadMotion("base", (kHero + "motions/idle.json").c_str()), 1);
    const uint32_t running = Anime_CreateInstance("base");
    ASSERT_EQ(Anime_PlayMotion(running, "idle", 1.0f), 1);
    const std::string model = kHero + "model.json";
    const std::string motion = kHero + "motions/wave.json";
    const std::string expression = kHero + "expressions/smile.json";
    const Operation operations[] = {
        {"load a model", [&] { return Anime_LoadModel("hero", model.c_str()); },
         [] { return Anime_CreateInstance("hero") == 0; }},
        {"load a motion", [&] { return Anime_LoadMotion("hero", motion.c_str()); },
         [] { return Unusable([](uint32_t id) { return Anime_PlayMotion(id, "wave", 1.0f); }); }},
        {"load an expression", [&] { return Anime_LoadExpression("hero", expression.c_str()); },
         [] { return Unusable([](uint32_t id) { return Anime_SetExpression(id, "smile"); }); }},
        {"create an instance", [] { return static_cast<int64_t>(Anime_CreateInstance("hero")); },
         [] { return Anime_GetInstanceCount() == 1; }},
    };
    for (const Operation& op : operations) {
        SCOPED_TRACE(op.what);
        uint64_t n = 1;
        for (;; ++n) {
            ASSERT_LT(n, 100000u) << "the operation never succeeds";
            const std::pair<int32_t, float> before = Frame();
            const int64_t live = alloc::LiveBlocks();
            const int32_t textures = gLoaded - gReleased;
            alloc::FailAllocation(n);
            const int64_t result = op.call();
            alloc::FailAllocation(0);
            if (result != 0) {
                break;
            }
            ASSERT_EQ(Anime_GetLastErrorCode(), ANIME_ERROR_OUT_OF_MEMORY) << "allocation " << n;
            ASSERT_EQ(alloc::LiveBlocks(), live) << "allocation " << n;
            ASSERT_EQ(gLoaded - gReleased, textures) << "allocation " << n;
            ASSERT_TRUE(op.absent()) << "allocation " << n;
            ASSERT_EQ(Frame(), before) << "allocation " << n;  // no instance more or changed
        }
        std::printf("%s: %llu allocations, each made to fail in turn\n", op.what,
                    static_cast<unsigned long long>(n - 1));
        EXPECT_GT(n, 2u);  // the failures were really injected
    }
    // A creation's note on refused textures is written after the instance is
    // made, as its last allocation: running out of memory there must not
    // turn the success into a failure (leaving the instance behind).
    gRefuse = true;
    uint64_t made = 0;
    for (int i = 0; i < 2; ++i) {  // the second measures the settled state
        const uint64_t before = alloc::AllocationCount();
        Anime_DestroyInstance(Anime_CreateInstance("hero"));
        made = alloc::AllocationCount() - before;
    }
    const int32_t count = Anime_GetInstanceCount();
    alloc::FailAllocation(made);
    EXPECT_NE(Anime_CreateInstance("hero"), 0u);
    alloc::FailAllocation(0);
    gRefuse = false;
    EXPECT_EQ(Anime_GetLastErrorCode(), ANIME_ERROR_TEXTURE_REFUSED) << Anime_GetLastError();
    EXPECT_EQ(Anime_GetInstanceCount(), count + 1);
    Anime_Shutdown();
    EXPECT_EQ(gLoaded, gReleased);
}

// After the first Anime_Update and Anime_Render, a scene with every feature
// running (motions, overlays, expressions, springs, wind, parallax, bent
// meshes, masks, parameters with their bindings and drivers), drawn whole
// and one instance at a time while following a part, reading a mesh and
// steering parts and parameters from code, allocates nothing per frame; nor
// do cross-fades, queued motions, overlay fades and events once run.
// Serially and on workers, where which worker takes which instance changes.
TEST(NoAllocation, FramesAllocateNothingAfterTheFirst) {
    for (int32_t workers : {1, 2, 5}) {
        SCOPED_TRACE(workers);
        TaskPool* pool = TaskPool_Create(workers);
        ASSERT_NE(pool, nullptr);
        ASSERT_EQ(Anime_SetTaskSystem(TaskPool_Enqueue, TaskPool_Finish, workers, pool), 1);
        gMeshes = 0;
        Anime_Init(&kHost);
        ASSERT_EQ(Anime_LoadModel("bench", (kScene + "model.json").c_str()), 1);
        ASSERT_EQ(Anime_LoadMotion("bench", (kScene + "motions/idle.json").c_str()), 1);
        ASSERT_EQ(Anime_LoadMotion("bench", (kScene + "motions/wave.json").c_str()), 1);
        ASSERT_EQ(Anime_LoadExpression("bench", (kScene + "expressions/smile.json").c_str()), 1);
        // The counter must see the library's allocations, or the check below
        // proves nothing: creating instances allocates.
        const uint64_t beforeCreation = alloc::AllocationCount();
        for (int i = 0; i < 12; ++i) {
            const uint32_t id = Anime_CreateInstance("bench");
            ASSERT_NE(id, 0u);
            Anime_PlayMotion(id, "idle", 1.0f + 0.1f * static_cast<float>(i));
            Anime_PlayOverlay(id, "wave", 1.0f, 0.6f);
            Anime_PlayOverlay(id, "idle", 0.5f, 0.3f);
            Anime_SetExpression(id, "smile");
            Anime_SetWind(id, 1.0f, 0.0f);
            Anime_SetDrawOrder(id, i % 3);
            if (i % 2 == 0) {
                Anime_Set3DSetup(id, 1, 500.0f, 400.0f, 1200.0f, i % 4 == 0 ? 250.0f : 0.0f, 80.0f);
                Anime_Set3DAngles(id, 20.0f, -10.0f, 5.0f);
            }
        }
        ASSERT_GT(alloc::AllocationCount(), beforeCreation);
        // Bent meshes: drawn through a mesh function by some instances, as sprites by others.
        const std::string puppet =
            std::string(KIVANIME_SOURCE_DIR) + "/tests/fixtures/mesh-puppet/";
        ASSERT_EQ(Anime_LoadModel("meshes", (puppet + "model.json").c_str()), 1);
        ASSERT_EQ(Anime_LoadMotion("meshes", (puppet + "motions/sway.json").c_str()), 1);
        ASSERT_EQ(Anime_LoadMotion("meshes", (puppet + "motions/flutter.json").c_str()), 1);
        for (int i = 0; i < 4; ++i) {
            Anime_SetMeshCallback(i % 2 == 0 ? DrawMesh : nullptr);
            const uint32_t id = Anime_CreateInstance("meshes");
            Anime_PlayMotion(id, "sway", 1.0f);
            Anime_PlayOverlay(id, "flutter", 0.7f, 0.5f);
            Anime_Set3DSetup(id, i / 2, 0.0f, 0.0f, 900.0f, 0.0f, 0.0f);
        }
        // Masked parts, clipped through the mesh function or drawn whole.
        const std::string masks =
            std::string(KIVANIME_SOURCE_DIR) + "/tests/fixtures/mask-puppet/model.json";
        ASSERT_EQ(Anime_LoadModel("masks", masks.c_str()), 1);
        for (int i = 0; i < 2; ++i) {
            Anime_SetMeshCallback(i == 0 ? DrawMesh : nullptr);
            const uint32_t id = Anime_CreateInstance("masks");
            Anime_PlayMotion(id, "look", 1.0f);
            Anime_Set3DSetup(id, 1, 0.0f, 0.0f, 900.0f, 0.0f, 0.0f);
            Anime_Set3DAngles(id, 20.0f, -10.0f, 0.0f);
        }
        // Faces whose parameters every source and driver moves, turned into
        // poses, swapped textures and bent meshes by their bindings.
        const std::string face = std::string(KIVANIME_SOURCE_DIR) + "/tests/fixtures/face-puppet/";
        ASSERT_EQ(Anime_LoadModel("face", (face + "model.json").c_str()), 1);
        ASSERT_EQ(Anime_LoadMotion("face", (face + "motions/look.json").c_str()), 1);
        ASSERT_EQ(Anime_LoadMotion("face", (face + "motions/nod.json").c_str()), 1);
        ASSERT_EQ(Anime_LoadExpression("face", (face + "expressions/wink.json").c_str()), 1);
        for (uint32_t id = 19; id <= 22; ++id) {
            Anime_SetMeshCallback(id % 2 == 0 ? DrawMesh : nullptr);
            ASSERT_EQ(Anime_CreateInstance("face"), id);
            Anime_PlayMotion(id, "nod", 1.0f);
            Anime_PlayOverlay(id, "look", 1.0f, 0.5f);
            Anime_SetAutoBlink(id, "EyeOpen", 300.0f, 80.0f);
            Anime_SetBreath(id, "AngleY", 900.0f, 5.0f);
            Anime_SetLipSync(id, "MouthOpen", 3.0f);
        }
        float voice[800];
        for (int i = 0; i < 800; ++i) {
            voice[i] = static_cast<float>(i % 40) / 40.0f - 0.5f;
        }
        Anime_SetGlobalWind(0.5f, 0.1f);
        // What game code does every frame, once before counting: its first use
        // on an instance makes room.
        const auto steer = [&voice](int frame) {
            const uint32_t id = 1 + static_cast<uint32_t>(frame % 12);
            const float turn = frame % 3 == 0 ? 0.0f : 0.01f * static_cast<float>(frame);
            Anime_SetPartOffset(id, "head", 0.0f, 0.0f, turn, 1.0f, 1.0f, 1.0f);
            Anime_SetPartOffset(id, "chest", 2.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.5f);
            Anime_SetTint(id, 1.0f, frame % 2 == 0 ? 1.0f : 0.5f, 0.5f);
            Anime_SetPartTint(id, "head", 0.8f, 0.2f, 0.2f);
            Anime_SetPartTexture(id, "head", frame % 2 == 0 ? nullptr : "face");
            Anime_SetSkin(id, "");
            if (frame % 7 == 0) {
                Anime_ClearPartOffsets(id);
                Anime_ResetParameters(19 + id % 4);
            }
            float value = 0.0f;
            Anime_SetParameter(19 + id % 4, "AngleX", static_cast<float>(frame % 60) - 30.0f);
            Anime_FeedAudio(19 + id % 4, voice + frame % 3, 700, 48000);
            Anime_GetParameter(19 + id % 4, "EyeOpen", &value);
        };
        for (int frame = 0; frame < 24; ++frame) {
            steer(frame);
        }
        Anime_Update(16.0f);
        Anime_Render();

        const uint64_t before = alloc::AllocationCount();
        const uint64_t drawnBefore = gDraws;
        const float dts[] = {16.6667f, 0.0f, 33.0f, 100.0f, 8.0f};
        float transform[6];
        AnimeMeshVertex vertices[8];
        AnimeMeshVertex clipped[2 * 16 * 12];
        int found = 0;
        for (int frame = 0; frame < 200; ++frame) {
            steer(frame);
            Anime_Update(dts[frame % 5]);
            Anime_Render();
            // A host drawing puppets one at a time, following a part, reading a mesh.
            Anime_RenderInstance(1 + static_cast<uint32_t>(frame % 16));
            found += Anime_GetPartTransform(2, "chest", transform);
            found += Anime_GetPartMesh(14, "cape", vertices, 8) == 8 ? 1 : 0;
            found += Anime_GetPartMesh(17 + frame % 2, "spot", clipped, 2 * 16 * 12) > 0 ? 1 : 0;
        }
        const uint64_t allocations = alloc::AllocationCount() - before;
        EXPECT_GT(gDraws - drawnBefore, 200u * 12u * 20u);

        // Cross-fades (one over another), queued motions that start inside an
        // update, overlay fades and the events of a motion file, read as a host
        // reads them: after one round to warm up, a second allocates nothing.
        const std::string steps =
            R"({"name": "steps", "duration": 300, "events": [{"name": "left", "string": "l"},
            {"time": 150, "name": "right", "int": 2}], "tracks": [{"part": "chest",
            "keyframes": [{"time": 0}, {"time": 300, "position": [0, -5]}]}]})";
        const auto size = [](const std::string& text) { return static_cast<int32_t>(text.size()); };
        ASSERT_EQ(Anime_LoadMotionFromMemory("bench", steps.data(), size(steps)), 1);
        const std::string gust = R"({"name": "gust", "duration": 200, "tracks": [{"part": "cape",
        "keyframes": [{"time": 0}, {"time": 200, "deform": [3, 1, 3, 1, 5, 2]}]}]})";
        ASSERT_EQ(Anime_LoadMotionFromMemory("meshes", gust.data(), size(gust)), 1);
        int64_t read = 0;
        auto round = [&] {
            for (int frame = 0; frame < 90; ++frame) {
                for (uint32_t id = 1; id <= 12 && frame % 30 == 0; ++id) {
                    Anime_CrossFadeMotion(id, "wave", 1.0f, 150.0f);
                    Anime_CrossFadeMotion(id, "steps", 1.0f, 400.0f);
                    Anime_QueueMotion(id, "idle", 1.0f, 100.0f);
                    Anime_FadeOverlay(id, "wave", frame % 60 == 0 ? 0.2f : 0.9f, 250.0f);
                }
                // The bent meshes too: a fade over a fade, and a motion queued
                // after a shorter one than the fade, so that it interrupts the
                // fade inside an update.
                for (uint32_t id = 13; id <= 16 && frame % 30 == 0; ++id) {
                    Anime_CrossFadeMotion(id, "flutter", 1.0f, 150.0f);
                    Anime_CrossFadeMotion(id, "gust", 1.0f, 300.0f);
                    Anime_QueueMotion(id, "sway", 1.0f, 200.0f);
                }
                for (uint32_t id = 1; id <= 12 && frame % 30 == 15; ++id) {
                    Anime_QueueMotion(id, "steps", 2.0f, 300.0f);
                }
                // Faces: cross-fades between parameter tracks, one over another.
                for (uint32_t id = 19; id <= 22 && frame % 30 == 0; ++id) {
                    Anime_CrossFadeMotion(id, frame % 60 == 0 ? "look" : "nod", 1.0f, 200.0f);
                    Anime_CrossFadeMotion(id, "nod", 1.0f, 100.0f);
                    if (frame % 60 == 0) {
                        Anime_SetExpression(id, "wink");
                    } else {
                        Anime_ClearExpression(id);
                    }
                }
                Anime_Update(dts[frame % 5]);
                Anime_Render();
                AnimeEvent event;
                for (int32_t i = 0; i < Anime_GetEventCount(); ++i) {
                    read += Anime_GetEvent(i, &event) + (*Anime_GetEventText(i, 1) != '\0');
                }
            }
        };
        round();
        // A puppet larger than any before it makes its room when it is created,
        // not in its first frame (in the second round).
        std::string parts = "{}";
        std::string springs = "{}";
        for (int i = 0; i < 400; ++i) {
            parts += ",{\"name\": \"p" + std::to_string(i) + "\", \"texture\": \"t\"}";
            springs += ",{\"target\": \"p" + std::to_string(i) + "\"}";
        }
        std::string big = "{\"textures\": {\"t\": \"t.png\"}, \"physics\": [" + springs +
                          "], \"parts\": [" + parts + "," + MeshPart(300);
        ASSERT_EQ(Anime_LoadModelFromMemory("big", big.data(), size(big), ""), 1);
        Anime_SetMeshCallback(DrawMesh);
        const uint32_t bigId = Anime_CreateInstance("big");
        ASSERT_EQ(Anime_PlayMotion(bigId, "bend", 1.0f), 1);
        Anime_PlayOverlay(bigId, "bend", 1.0f, 0.5f);
        ASSERT_EQ(Anime_CrossFadeMotion(bigId, "bend", 2.0f, 100.0f), 1);
        const uint64_t beforeControl = alloc::AllocationCount();
        read = 0;
        round();
        EXPECT_EQ(alloc::AllocationCount() - beforeControl, 0u);
        EXPECT_GT(read, 12 * 10);
        EXPECT_GT(gMeshes, 400);
        Anime_Shutdown();
        Anime_SetMeshCallback(nullptr);
        EXPECT_EQ(allocations, 0u);
        EXPECT_EQ(found, 600);
        Anime_SetTaskSystem(nullptr, nullptr, 1, nullptr);
        TaskPool_Destroy(pool);
    }
}

}  // namespace
}  // namespace kivanime::test
