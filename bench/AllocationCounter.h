// Counts every heap allocation of the benchmark process, per thread. The
// counting replaces malloc and its relatives in the executable (operator new
// reaches them too) and forwards to the C library's own allocator, so
// mallinfo2 and malloc_usable_size keep working on every block.
//
// Linking bench/AllocationCounter.cpp into a program is what switches it on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

struct ThreadAllocations {
  unsigned long Thread = 0;      // pthread_self() of the thread
  std::uint64_t Allocations = 0; // malloc, calloc, realloc to a new block, aligned forms
  std::uint64_t Bytes = 0;       // bytes asked for
};

// Every thread that has allocated at least once since the process started.
// A thread that never allocated has no entry (its count is zero).
std::vector<ThreadAllocations> AllocationsByThread();

// Allocations the calling thread has made since the process started.
std::uint64_t AllocationsOfThisThread();

// The calling thread's identity as AllocationsByThread names it.
unsigned long ThisThread();

// The heap as the process uses it: the blocks handed out and not yet freed,
// each counted with the allocator's own rounding and bookkeeping (the chunk
// it occupies), and the highest such total since the process started.
struct HeapUse {
  std::uint64_t LiveBlocks = 0;
  std::uint64_t LiveChunkBytes = 0;
  std::uint64_t PeakChunkBytes = 0;
};
HeapUse CurrentHeapUse();

// Tells whether the replacement is the allocator this process really calls
// (a self-check: a build that lost it would report zeros that prove nothing).
bool CountingIsActive();

}  // namespace bench
