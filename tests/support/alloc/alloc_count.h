// Heap allocations made anywhere in the process (shared by the benchmarks and
// the allocation test), counted by replacing the
// global allocation functions in this binary. The shared library allocates
// through the same operator new, so its allocations are counted too.
#pragma once

#include <cstdint>

namespace kivanime::alloc {

uint64_t AllocationCount();

// Blocks handed out and not yet given back.
int64_t LiveBlocks();

// Bytes the heap holds for the blocks handed out while tracking was on
// (glibc: each block's usable size; elsewhere 0). Off by default: it costs a
// heap query per allocation, which would weigh on timed cases. Compare two
// readings taken while it is on, around work whose blocks it also saw made.
void TrackBytes(bool on);
int64_t LiveBytes();

// Makes the n-th allocation from now throw std::bad_alloc (0: none fails).
void FailAllocation(uint64_t n);

}  // namespace kivanime::alloc
