// Running out of memory is a failure like any other: each loading export and
// instance creation is run with its 1st, 2nd, 3rd... allocation failing until
// it succeeds. Every failed call must return the failure value, give back all
// it allocated (and every texture it loaded) and leave the loaded models and
// the running instance exactly as they were.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "kivanime.h"

#include "alloc_count.h"

namespace kivanime::test {
namespace {

const std::string kHero = std::string(KIVANIME_SOURCE_DIR) + "/examples/hero/";

int32_t gLoaded = 0;
int32_t gReleased = 0;
float gDrawSum = 0.0f;
int32_t gDraws = 0;

int32_t Load(const uint16_t*) {
    return gLoaded++;
}
void Release(int32_t) {
    ++gReleased;
}
void Draw(const AnimeDrawParams* p) {
    ++gDraws;
    gDrawSum += p->x + p->y + p->rotation + p->alpha + static_cast<float>(p->texture);
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

struct Operation {
    const char* what;
    std::function<int64_t()> call;  // 0 is the failure value
    std::function<bool()> absent;   // the result of a failed call is nowhere to be seen
};

TEST(AllocationFailure, FailedLoadsAndCreationsLeaveEverythingAsItWas) {
    AnimeHostCallbacks host{Load, Release, nullptr, Draw};
    Anime_Init(&host);
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
         [] {
             const uint32_t id = Anime_CreateInstance("hero");
             const bool absent = Anime_PlayMotion(id, "wave", 1.0f) == 0;
             Anime_DestroyInstance(id);
             return absent;
         }},
        {"load an expression", [&] { return Anime_LoadExpression("hero", expression.c_str()); },
         [] {
             const uint32_t id = Anime_CreateInstance("hero");
             const bool absent = Anime_SetExpression(id, "smile") == 0;
             Anime_DestroyInstance(id);
             return absent;
         }},
        {"create an instance", [] { return static_cast<int64_t>(Anime_CreateInstance("hero")); },
         [] { return Anime_GetInstanceCount() == 1; }},
    };
    for (const Operation& op : operations) {
        SCOPED_TRACE(op.what);
        bool succeeded = false;
        uint64_t n = 1;
        for (; n < 100000 && !succeeded; ++n) {
            const std::pair<int32_t, float> before = Frame();
            const int64_t live = alloc::LiveBlocks();
            const int32_t textures = gLoaded - gReleased;
            alloc::FailAllocation(n);
            const int64_t result = op.call();
            alloc::FailAllocation(0);
            if (result != 0) {
                succeeded = true;
                break;
            }
            const int64_t leaked = alloc::LiveBlocks() - live;
            ASSERT_EQ(leaked, 0) << "allocation " << n;
            ASSERT_EQ(gLoaded - gReleased, textures) << "allocation " << n;
            ASSERT_TRUE(op.absent()) << "allocation " << n;
            ASSERT_EQ(Frame(), before) << "allocation " << n;
            ASSERT_EQ(Anime_GetInstanceCount(), 1) << "allocation " << n;
        }
        ASSERT_TRUE(succeeded);
        std::printf("%s: %llu allocations, each made to fail in turn\n", op.what,
                    static_cast<unsigned long long>(n - 1));
        EXPECT_GT(n, 2u);  // the failures were really injected
    }
    Anime_Shutdown();
    EXPECT_EQ(gLoaded, gReleased);
}

}  // namespace
}  // namespace kivanime::test
