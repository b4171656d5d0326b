#include "bench/AllocationCounter.h"

#include <malloc.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <cerrno>
#include <cstdlib>
#include <cstring>

// The C library's own allocator, under the names glibc exports for exactly
// this purpose: a replacement malloc that forwards here keeps every block a
// glibc block, so the library's statistics stay true.
extern "C" {
void* __libc_malloc(std::size_t Size);
void __libc_free(void* Block);
void* __libc_calloc(std::size_t Count, std::size_t Size);
void* __libc_realloc(void* Block, std::size_t Size);
void* __libc_memalign(std::size_t Alignment, std::size_t Size);
}

namespace {

struct Slot {
  std::atomic<unsigned long> Thread{0};
  std::atomic<std::uint64_t> Allocations{0};
  std::atomic<std::uint64_t> Bytes{0};
};

// Threads beyond the table share its last slot; the benchmarks start a few.
constexpr unsigned SlotCount = 256;
Slot Slots[SlotCount];                 // each slot written by its own thread only
std::atomic<unsigned> SlotsTaken{0};   // atomic: threads claim slots concurrently

std::atomic<std::uint64_t> LiveBlocks{0};      // atomic: every thread allocates
std::atomic<std::uint64_t> LiveChunkBytes{0};  // atomic: every thread allocates
std::atomic<std::uint64_t> PeakChunkBytes{0};  // atomic: every thread allocates

// Plain thread-local data of the executable: static TLS, which needs no
// allocation of its own, so reading it inside malloc cannot recurse.
thread_local Slot* ThreadSlot = nullptr;

Slot& MySlot() {
  if (ThreadSlot == nullptr) {
    unsigned index = SlotsTaken.fetch_add(1, std::memory_order_relaxed);
    if (index >= SlotCount) index = SlotCount - 1;
    Slots[index].Thread.store(static_cast<unsigned long>(pthread_self()),
                              std::memory_order_relaxed);
    ThreadSlot = &Slots[index];
  }
  return *ThreadSlot;
}

// The chunk a block occupies: its usable size plus the size word in front of
// it (glibc on 64-bit systems keeps one 8-byte header per block in use).
std::uint64_t ChunkBytes(void* Block) {
  return static_cast<std::uint64_t>(malloc_usable_size(Block)) + sizeof(std::size_t);
}

void Allocated(void* Block, std::size_t Asked) {
  if (Block == nullptr) return;
  Slot& slot = MySlot();
  slot.Allocations.fetch_add(1, std::memory_order_relaxed);
  slot.Bytes.fetch_add(Asked, std::memory_order_relaxed);
  LiveBlocks.fetch_add(1, std::memory_order_relaxed);
  const std::uint64_t live =
      LiveChunkBytes.fetch_add(ChunkBytes(Block), std::memory_order_relaxed) + ChunkBytes(Block);
  std::uint64_t peak = PeakChunkBytes.load(std::memory_order_relaxed);
  while (live > peak &&
         !PeakChunkBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
}

void Released(void* Block) {
  if (Block == nullptr) return;
  LiveBlocks.fetch_sub(1, std::memory_order_relaxed);
  LiveChunkBytes.fetch_sub(ChunkBytes(Block), std::memory_order_relaxed);
}

}  // namespace

extern "C" {

void* malloc(std::size_t Size) {
  void* block = __libc_malloc(Size);
  Allocated(block, Size);
  return block;
}

void free(void* Block) {
  Released(Block);
  __libc_free(Block);
}

void* calloc(std::size_t Count, std::size_t Size) {
  void* block = __libc_calloc(Count, Size);
  Allocated(block, Count * Size);
  return block;
}

void* realloc(void* Block, std::size_t Size) {
  if (Block == nullptr) return malloc(Size);
  if (Size == 0) {
    free(Block);
    return nullptr;
  }
  // Counted as a release and a new allocation, whether or not the block
  // moved: a growing container on a hot path is what this is meant to catch.
  const std::uint64_t before = ChunkBytes(Block);
  void* moved = __libc_realloc(Block, Size);
  if (moved == nullptr) return nullptr;
  LiveBlocks.fetch_sub(1, std::memory_order_relaxed);
  LiveChunkBytes.fetch_sub(before, std::memory_order_relaxed);
  Allocated(moved, Size);
  return moved;
}

void* memalign(std::size_t Alignment, std::size_t Size) {
  void* block = __libc_memalign(Alignment, Size);
  Allocated(block, Size);
  return block;
}

void* aligned_alloc(std::size_t Alignment, std::size_t Size) { return memalign(Alignment, Size); }

int posix_memalign(void** Result, std::size_t Alignment, std::size_t Size) {
  if (Alignment < sizeof(void*) || (Alignment & (Alignment - 1)) != 0) return EINVAL;
  void* block = memalign(Alignment, Size);
  if (block == nullptr) return ENOMEM;
  *Result = block;
  return 0;
}

void* valloc(std::size_t Size) { return memalign(4096, Size); }

void* pvalloc(std::size_t Size) { return memalign(4096, (Size + 4095) & ~std::size_t{4095}); }

}  // extern "C"

namespace bench {

std::vector<ThreadAllocations> AllocationsByThread() {
  const unsigned taken = std::min(SlotsTaken.load(std::memory_order_relaxed), SlotCount);
  std::vector<ThreadAllocations> result;
  result.reserve(taken);
  for (unsigned i = 0; i < taken; ++i) {
    ThreadAllocations entry;
    entry.Thread = Slots[i].Thread.load(std::memory_order_relaxed);
    entry.Allocations = Slots[i].Allocations.load(std::memory_order_relaxed);
    entry.Bytes = Slots[i].Bytes.load(std::memory_order_relaxed);
    result.push_back(entry);
  }
  return result;
}

std::uint64_t AllocationsOfThisThread() {
  return MySlot().Allocations.load(std::memory_order_relaxed);
}

unsigned long ThisThread() { return static_cast<unsigned long>(pthread_self()); }

HeapUse CurrentHeapUse() {
  HeapUse use;
  use.LiveBlocks = LiveBlocks.load(std::memory_order_relaxed);
  use.LiveChunkBytes = LiveChunkBytes.load(std::memory_order_relaxed);
  use.PeakChunkBytes = PeakChunkBytes.load(std::memory_order_relaxed);
  return use;
}

bool CountingIsActive() {
  // Through volatile pointers, so that the compiler cannot see (and drop)
  // the pair.
  void* (*volatile allocate)(std::size_t) = &std::malloc;
  void (*volatile release)(void*) = &std::free;
  const std::uint64_t before = AllocationsOfThisThread();
  void* block = allocate(24);
  const std::uint64_t afterMalloc = AllocationsOfThisThread();
  release(block);
  void* (*volatile makeObject)(std::size_t) = static_cast<void* (*)(std::size_t)>(&::operator new);
  void (*volatile dropObject)(void*) noexcept = static_cast<void (*)(void*) noexcept>(&::operator delete);
  void* object = makeObject(sizeof(int));
  const std::uint64_t afterNew = AllocationsOfThisThread();
  dropObject(object);
  return afterMalloc == before + 1 && afterNew == afterMalloc + 1;
}

}  // namespace bench
