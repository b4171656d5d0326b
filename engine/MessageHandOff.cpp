#include "engine/MessageHandOff.h"

void TMessageHandOff::Post(TMidiOutMessage* M) noexcept {
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
