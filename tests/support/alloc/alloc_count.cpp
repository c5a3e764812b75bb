#include "alloc_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kivanime::alloc {

namespace {

std::atomic<uint64_t> gAllocations{0};
std::atomic<int64_t> gLive{0};
std::atomic<uint64_t> gFailAt{0};
std::atomic<int64_t> gLiveBytes{0};
std::atomic<bool> gTrackBytes{false};

// Asking the heap for a block's size costs more than the counting itself, so
// it is done only while a measurement wants bytes (see TrackBytes).
int64_t BlockBytes([[maybe_unused]] void* p) {
#if defined(__GLIBC__)
    if (gTrackBytes.load(std::memory_order_relaxed)) {
        return static_cast<int64_t>(malloc_usable_size(p));
    }
#endif
    return 0;
}

void Count() {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    const uint64_t failAt = gFailAt.load(std::memory_order_relaxed);
    if (failAt != 0 && gFailAt.fetch_sub(1, std::memory_order_relaxed) == 1) {
        throw std::bad_alloc();
    }
    gLive.fetch_add(1, std::memory_order_relaxed);
}

void Free(void* p) {
    if (p != nullptr) {
        gLive.fetch_sub(1, std::memory_order_relaxed);
        if (const int64_t bytes = BlockBytes(p)) {
            gLiveBytes.fetch_sub(bytes, std::memory_order_relaxed);
        }
        std::free(p);
    }
}

void* Counted(void* p) {
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    if (const int64_t bytes = BlockBytes(p)) {
        gLiveBytes.fetch_add(bytes, std::memory_order_relaxed);
    }
    return p;
}

void* Allocate(std::size_t size) {
    Count();
    return Counted(std::malloc(size == 0 ? 1 : size));
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
    Count();
    const std::size_t a = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + a - 1) / a * a;
    return Counted(std::aligned_alloc(a, rounded == 0 ? a : rounded));
}

}  // namespace

uint64_t AllocationCount() {
    return gAllocations.load(std::memory_order_relaxed);
}

int64_t LiveBlocks() {
    return gLive.load(std::memory_order_relaxed);
}

void TrackBytes(bool on) {
    gTrackBytes.store(on, std::memory_order_relaxed);
}

int64_t LiveBytes() {
    return gLiveBytes.load(std::memory_order_relaxed);
}

void FailAllocation(uint64_t n) {
    gFailAt.store(n, std::memory_order_relaxed);
}

}  // namespace kivanime::alloc

// The array and nothrow forms of the standard library call these.
void* operator new(std::size_t size) {
    return kivanime::alloc::Allocate(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    return kivanime::alloc::AllocateAligned(size, align);
}
void operator delete(void* p) noexcept {
    kivanime::alloc::Free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    kivanime::alloc::Free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    kivanime::alloc::Free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    kivanime::alloc::Free(p);
}
