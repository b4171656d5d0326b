#include "engine/ShortMessagePool.h"

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define POOL_POISON(Address, Size) ASAN_POISON_MEMORY_REGION(Address, Size)
#define POOL_UNPOISON(Address, Size) ASAN_UNPOISON_MEMORY_REGION(Address, Size)
#else
#define POOL_POISON(Address, Size) ((void)(Address), (void)(Size))
#define POOL_UNPOISON(Address, Size) ((void)(Address), (void)(Size))
#endif

namespace {
// A free block's own bytes beyond its link are out of bounds under the
// address sanitizer, so a message used after it was freed is reported as it
// would be on the heap.
void PoisonBeyondLink(void* Block, std::size_t BlockSize) {
  POOL_POISON(static_cast<std::byte*>(Block) + sizeof(void*), BlockSize - sizeof(void*));
}
}  // namespace

TShortMessagePool::TShortMessagePool(std::size_t BlockSize)
    : FBlockSize((BlockSize + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
                 alignof(std::max_align_t)) {}

TShortMessagePool::~TShortMessagePool() {
  for (auto& chunk : FChunks) POOL_UNPOISON(chunk.get(), FBlockSize * BlocksPerChunk);
}

void* TShortMessagePool::Take() {
  if (FSpare == nullptr) FSpare = TakeReturned();
  if (FSpare == nullptr) Grow();
  TFreeBlock* block = FSpare;
  FSpare = block->Next;
  POOL_UNPOISON(block, FBlockSize);
  return block;
}

void TShortMessagePool::Give(void* Block) noexcept {
  auto* block = static_cast<TFreeBlock*>(Block);
  PoisonBeyondLink(block, FBlockSize);
  block->Next = FReturned.load(std::memory_order_relaxed);
  // Fails only while the taker empties the stack at that moment; a push
  // never waits for another thread to make progress.
  while (!FReturned.compare_exchange_weak(block->Next, block, std::memory_order_release,
                                          std::memory_order_relaxed)) {
  }
}

TShortMessagePool::TFreeBlock* TShortMessagePool::TakeReturned() noexcept {
  // The whole stack at once: no block is ever taken off it singly, so a
  // block given back and out again in between cannot confuse a push.
  return FReturned.exchange(nullptr, std::memory_order_acquire);
}

void TShortMessagePool::Grow() {
  auto chunk = std::make_unique<std::byte[]>(FBlockSize * BlocksPerChunk);
  for (std::size_t i = BlocksPerChunk; i-- > 0;) {
    auto* block = reinterpret_cast<TFreeBlock*>(chunk.get() + i * FBlockSize);
    block->Next = FSpare;
    FSpare = block;
    PoisonBeyondLink(block, FBlockSize);
  }
  FChunks.push_back(std::move(chunk));
}

void TShortMessagePool::ReleaseIfIdle() {
  TFreeBlock* returned = TakeReturned();
  std::size_t free = 0;
  for (TFreeBlock* b = FSpare; b != nullptr; b = b->Next) ++free;
  while (returned != nullptr) {
    TFreeBlock* next = returned->Next;
    returned->Next = FSpare;
    FSpare = returned;
    returned = next;
    ++free;
  }
  if (free != Capacity()) return;  // some message still lives
  FSpare = nullptr;
  for (auto& chunk : FChunks) POOL_UNPOISON(chunk.get(), FBlockSize * BlocksPerChunk);
  FChunks.clear();
}
