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

// Counts an allocation, unless it is the one FailAllocation asked to fail.
// `align` 0 is the default alignment.
void* Allocate(std::size_t size, std::size_t align = 0) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    const uint64_t failAt = gFailAt.load(std::memory_order_relaxed);
    if (failAt != 0 && gFailAt.fetch_sub(1, std::memory_order_relaxed) == 1) {
        throw std::bad_alloc();
    }
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = align == 0 ? size : (size + align - 1) / align * align;
    void* p = align == 0 ? std::malloc(rounded == 0 ? 1 : rounded)
                         : std::aligned_alloc(align, rounded == 0 ? align : rounded);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    gLive.fetch_add(1, std::memory_order_relaxed);
    gLiveBytes.fetch_add(BlockBytes(p), std::memory_order_relaxed);
    return p;
}

void Free(void* p) {
    if (p != nullptr) {
        gLive.fetch_sub(1, std::memory_order_relaxed);
        gLiveBytes.fetch_sub(BlockBytes(p), std::memory_order_relaxed);
        std::free(p);
    }
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
    return kivanime::alloc::Allocate(size, static_cast<std::size_t>(align));
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
