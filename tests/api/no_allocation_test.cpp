// Frames allocate nothing: after the first Anime_Update and Anime_Render, a
// scene with every feature running (motions, overlays, expressions, springs,
// wind, parallax) makes no heap allocation per frame. The global operator new
// is replaced in this test binary; on Linux the shared library's allocations
// go through it too, so they are counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "kivanime.h"

// Sanitizers replace the allocation functions themselves (and check that
// they pair up); under them this test does not count and is skipped. So it is
// elsewhere than on Linux, where a DLL's allocations would not come here.
#if !defined(__linux__) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIVANIME_COUNT_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KIVANIME_COUNT_NEW 0
#endif
#endif
#ifndef KIVANIME_COUNT_NEW
#define KIVANIME_COUNT_NEW 1
#endif

namespace {

std::atomic<uint64_t> gNewCalls{0};

}  // namespace

#if KIVANIME_COUNT_NEW

namespace {

void* CountedNew(std::size_t size) {
    gNewCalls.fetch_add(1, std::memory_order_relaxed);
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void* CountedNewNoThrow(std::size_t size) noexcept {
    try {
        return CountedNew(size);
    } catch (...) {
        return nullptr;
    }
}

void* CountedNewAligned(std::size_t size, std::align_val_t align) {
    gNewCalls.fetch_add(1, std::memory_order_relaxed);
    const std::size_t a = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + a - 1) / a * a;
    void* p = std::aligned_alloc(a, rounded == 0 ? a : rounded);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

}  // namespace

void* operator new(std::size_t size) {
    return CountedNew(size);
}
void* operator new[](std::size_t size) {
    return CountedNew(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return CountedNewNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return CountedNewNoThrow(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    return CountedNewAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return CountedNewAligned(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

#endif  // KIVANIME_COUNT_NEW

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
    if (!KIVANIME_COUNT_NEW) {
        GTEST_SKIP() << "allocations are counted only on Linux, without sanitizers";
    }
    AnimeHostCallbacks host{Load, Release, nullptr, Draw};
    Anime_Init(&host);
    ASSERT_EQ(Anime_LoadModel("bench", (kScene + "model.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadMotion("bench", (kScene + "motions/idle.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadMotion("bench", (kScene + "motions/wave.json").c_str()), 1);
    ASSERT_EQ(Anime_LoadExpression("bench", (kScene + "expressions/smile.json").c_str()), 1);
    // The counter must see the library's allocations, or the check below
    // proves nothing: creating instances allocates.
    const uint64_t beforeCreation = gNewCalls.load();
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
    ASSERT_GT(gNewCalls.load(), beforeCreation);
    Anime_SetGlobalWind(0.5f, 0.1f);
    Anime_Update(16.0f);
    Anime_Render();

    const uint64_t before = gNewCalls.load();
    const uint64_t drawnBefore = gDrawn;
    const float dts[] = {16.6667f, 0.0f, 33.0f, 100.0f, 8.0f};
    for (int frame = 0; frame < 200; ++frame) {
        Anime_Update(dts[frame % 5]);
        Anime_Render();
    }
    const uint64_t allocations = gNewCalls.load() - before;
    EXPECT_GT(gDrawn - drawnBefore, 200u * 12u * 20u);
    Anime_Shutdown();
    EXPECT_EQ(allocations, 0u);
}

}  // namespace
}  // namespace kivanime::test
