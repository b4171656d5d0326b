#include "engine/MessageHandOff.h"

#include <cassert>

void TMessageHandOff::Post(TMidiOutMessage* M) noexcept {
#ifndef NDEBUG
  // Two posting threads could each link M->Next to the same latest message
  // and lose one of them: the exchange below is safe against TakeAll only.
  const std::thread::id self = std::this_thread::get_id();
  std::thread::id poster{};
  if (!FPoster.compare_exchange_strong(poster, self, std::memory_order_relaxed))
    assert(poster == self && "TMessageHandOff::Post from a second thread");
#endif
  M->Prev = nullptr;
  M->Next = FLatest.load(std::memory_order_relaxed);
  // The exchange can fail only when TakeAll has just emptied the stack; the
  // second attempt then finds it empty and nothing else can change it, so a
  // post takes at most two attempts (a weak exchange may fail spuriously,
  // hence the strong one).
  while (!FLatest.compare_exchange_strong(M->Next, M, std::memory_order_release,
                                          std::memory_order_relaxed)) {
  }
}

TMidiOutMessage* TMessageHandOff::TakeAll() noexcept {
  TMidiOutMessage* latest = FLatest.exchange(nullptr, std::memory_order_acquire);
  TMidiOutMessage* earliest = nullptr;
  while (latest != nullptr) {  // the stack holds the latest first: turned round
    TMidiOutMessage* older = latest->Next;
    latest->Next = earliest;
    earliest = latest;
    latest = older;
  }
  return earliest;
}
