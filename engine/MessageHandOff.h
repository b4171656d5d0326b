// Messages handed from the main thread to the timer thread without a lock:
// the main thread pushes each arrival onto a stack linked through the
// messages' own Next, and the timer thread takes the whole stack with one
// exchange. Neither side ever waits for the other.
#pragma once

#include <atomic>
#ifndef NDEBUG
#include <thread>
#endif

#include "engine/MidiOutMessage.h"

class TMessageHandOff {
 public:
  // One posting thread (asserted in debug builds: the thread of the first
  // post). M's links are the hand-off's until it is taken.
  void Post(TMidiOutMessage* M) noexcept;
  // Everything posted so far, in posting order, linked by Next (the last
  // one's Next is nullptr, every Prev nullptr); nullptr when nothing waits.
  TMidiOutMessage* TakeAll() noexcept;
  bool Empty() const noexcept { return FLatest.load(std::memory_order_acquire) == nullptr; }

 private:
  std::atomic<TMidiOutMessage*> FLatest{nullptr};  // pushed by Post (release), emptied by TakeAll (acquire)
#ifndef NDEBUG
  std::atomic<std::thread::id> FPoster{};  // set by the first Post; atomic, so a second thread's check is no race
#endif
};
