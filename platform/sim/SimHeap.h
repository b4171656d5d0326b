// The simulated process heap: zero-filled blocks, counted, that a test can
// make the heap refuse, and that notices frees of blocks it never gave out.
#pragma once

#include <cstddef>
#include <mutex>
#include <unordered_set>

#include "platform/sim/SimCallLog.h"
#include "platform/sim/SimClock.h"

namespace sim {

class Heap {
 public:
  Heap(CallLog& Calls, const Clock& MachineClock) : calls_(Calls), clock_(MachineClock) {}
  ~Heap();
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  void* Alloc(std::size_t Bytes);
  void Free(void* Block);

  std::size_t LiveBlocks() const;
  std::size_t FreesOfUnknownBlocks() const;

  // Starts new counts. Blocks given out before stay valid: objects that
  // outlive a Reset may still free them, quietly.
  void Reset();

 private:
  CallLog& calls_;
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::unordered_set<void*> live_;            // guarded by mutex_
  std::unordered_set<void*> fromEarlier_;     // guarded by mutex_; live at a Reset
  std::size_t unknownFrees_ = 0;              // guarded by mutex_
};

}  // namespace sim
