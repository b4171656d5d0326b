// The insertions the queue's own Insert is measured against. Each takes a
// lock of its own of the same kind as the queue's, so that every variant pays
// for one uncontended mutex and the ratios compare the walks.
#pragma once

#include <mutex>

#include "engine/MidiOutMessageList.h"

namespace bench {

// The plain forward walk: from the earliest message while
// P.DueTime <= M.DueTime, then link M before P.
inline void ForwardWalkInsert(TMidiOutMessageList& List, std::mutex& Lock, TMidiOutMessage* M) {
  std::lock_guard<std::mutex> guard(Lock);
  TMidiOutMessage* p = List.Head()->Next;
  while (p->DueTime <= M->DueTime) p = p->Next;
  p->InsertBefore(M);
}

// The engine's earlier Insert: walk back from the latest message while it is
// due later than M, then link M after it.
inline void BackwardWalkInsert(TMidiOutMessageList& List, std::mutex& Lock, TMidiOutMessage* M) {
  std::lock_guard<std::mutex> guard(Lock);
  TMidiOutMessage* p = List.Tail()->Prev;
  while (p != List.Head() && p->DueTime > M->DueTime) p = p->Prev;
  p->Next->InsertBefore(M);
}

}  // namespace bench
