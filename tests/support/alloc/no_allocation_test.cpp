// Frames allocate nothing: after the first Anime_Update and Anime_Render, a
// scene with every feature running (motions, overlays, expressions, springs,
// wind, parallax), drawn whole and one instance at a time while following a
// part, makes no heap allocation per frame. The global operator new
// is replaced in this test program (its own, so that no other test runs with
// the replacement); on Linux the shared library's allocations
// go through it too, so they are counted.
#include <gtest/gtest.h>

#include <string>

#include "kivanime.h"

#include "alloc_count.h"

namespace kivanime::test {
namespace {

const std::string kScene = std::string(KIVANIME_SOURCE_DIR) + "/tests/fixtures/bench-character/";

uint64_t gDrawn = 0;
int32_t gHandle = 0;

int32_t Load(const uint16_t*) {
    return gHandle++;
}
void Release(int32_t) {}
void Draw(const AnimeDrawParams*) {
    ++gDrawn;
}

TEST(NoAllocation, FramesAllocateNothingAfterTheFirst) {
    AnimeHostCallbacks host{Load, Release, nullptr, Draw};
    Anime_Init(&host);
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
    Anime_SetGlobalWind(0.5f, 0.1f);
    Anime_Update(16.0f);
    Anime_Render();

    const uint64_t before = alloc::AllocationCount();
    const uint64_t drawnBefore = gDrawn;
    const float dts[] = {16.6667f, 0.0f, 33.0f, 100.0f, 8.0f};
    float transform[6];
    int found = 0;
    for (int frame = 0; frame < 200; ++frame) {
        Anime_Update(dts[frame % 5]);
        Anime_Render();
        // A host drawing puppets one at a time and following a part.
        Anime_RenderInstance(1 + static_cast<uint32_t>(frame % 12));
        found += Anime_GetPartTransform(2, "chest", transform);
    }
    const uint64_t allocations = alloc::AllocationCount() - before;
    EXPECT_GT(gDrawn - drawnBefore, 200u * 12u * 20u);
    Anime_Shutdown();
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(found, 200);
}

}  // namespace
}  // namespace kivanime::test
