#include "platform/sim/SimHeap.h"

#include <cstdlib>

namespace sim {

Heap::~Heap() {
  // Blocks still live at exit belong to objects that are being destroyed
  // after the simulated machine; leave them to the process's end.
}

void* Heap::Alloc(std::size_t Bytes) {
  CallRecord record{};
  record.What = Call::HeapAlloc;
  record.Arg = Bytes;
  record.Time = clock_.Now();
  void* block = nullptr;
  if (const auto failure = calls_.TakeFailure(Call::HeapAlloc, -1)) {
    record.Result = *failure;
  } else {
    // A request for 0 bytes still gets a block of its own, as HeapAlloc's does.
    block = std::calloc(Bytes == 0 ? 1 : Bytes, 1);
    if (block == nullptr) {
      record.Result = MMSYSERR_NOMEM;
    } else {
      std::lock_guard<std::mutex> lock(mutex_);
      live_.insert(block);
    }
  }
  record.Handle = reinterpret_cast<std::uintptr_t>(block);
  calls_.Record(record);
  return block;
}

void Heap::Free(void* Block) {
  CallRecord record{};
  record.What = Call::HeapFree;
  record.Handle = reinterpret_cast<std::uintptr_t>(Block);
  record.Time = clock_.Now();
  if (const auto failure = calls_.TakeFailure(Call::HeapFree, -1)) {
    record.Result = *failure;  // the block stays allocated
  } else if (Block != nullptr) {
    bool known = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      known = live_.erase(Block) > 0 || fromEarlier_.erase(Block) > 0;
      if (!known) ++unknownFrees_;
    }
    if (known) {
      std::free(Block);
    } else {
      record.Result = MMSYSERR_INVALPARAM;  // never given out, or freed twice: not touched
    }
  }
  calls_.Record(record);
}

std::size_t Heap::LiveBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return live_.size();
}

std::size_t Heap::FreesOfUnknownBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unknownFrees_;
}

void Heap::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  fromEarlier_.insert(live_.begin(), live_.end());
  live_.clear();
  unknownFrees_ = 0;
}

}  // namespace sim
