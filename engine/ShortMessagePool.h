// Blocks of one size for the short messages of the queue. A message is made
// on the main thread and freed on the timer thread once sent: the pool hands
// blocks out on the one thread that makes messages and takes them back from
// any thread without a lock, so the timer thread neither allocates nor waits
// for the main thread. A pool that runs out grows by a chunk, on the thread
// that makes messages; it never refuses a block.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

class TShortMessagePool {
 public:
  static constexpr std::size_t BlocksPerChunk = 1024;

  explicit TShortMessagePool(std::size_t BlockSize);
  ~TShortMessagePool();
  TShortMessagePool(const TShortMessagePool&) = delete;
  TShortMessagePool& operator=(const TShortMessagePool&) = delete;

  // The thread that makes messages only (the main thread).
  void* Take();
  // Any thread; never blocks, never allocates.
  void Give(void* Block) noexcept;
  // The thread that makes messages only: frees every chunk when every block
  // is back, so an engine that goes leaves no pool behind.
  void ReleaseIfIdle();
  // Blocks the chunks hold, handed out or not (the thread that makes messages).
  std::size_t Capacity() const { return FChunks.size() * BlocksPerChunk; }

 private:
  struct TFreeBlock {
    TFreeBlock* Next;
  };
  void Grow();
  TFreeBlock* TakeReturned() noexcept;

  const std::size_t FBlockSize;
  TFreeBlock* FSpare = nullptr;                       // the thread that makes messages only
  std::atomic<TFreeBlock*> FReturned{nullptr};        // pushed by Give (release), taken whole by Take (acquire)
  std::vector<std::unique_ptr<std::byte[]>> FChunks;  // the thread that makes messages only
};
