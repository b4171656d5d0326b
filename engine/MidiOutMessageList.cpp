#include "engine/MidiOutMessageList.h"

TMidiOutMessageList::TMidiOutMessageList() : FHead(new TPrimordialNode), FTail(new TTerminusNode) {
  FHead->Next = FTail;
  FTail->Prev = FHead;
}

TMidiOutMessageList::~TMidiOutMessageList() {
  Clear();
  FHead->ForceDestroy();
  FTail->ForceDestroy();
}

TMidiOutMessage* TMidiOutMessageList::First() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FHead->Next;
}

bool TMidiOutMessageList::Empty() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FHead->Next == FTail;
}

void TMidiOutMessageList::Insert(TMidiOutMessage* M) {
  std::lock_guard<std::mutex> guard(FLock);
  // The same place as a walk from the front that stops at the first node due
  // strictly later: behind every message due at or before M. Walking back
  // from the latest end stops at once for arrivals in due-time order, which
  // is what a steady stream through one delay is.
  TMidiOutMessage* p = FTail->Prev;
  while (p != FHead && p->DueTime > M->DueTime) p = p->Prev;
  p->Next->InsertBefore(M);
}

void TMidiOutMessageList::Clear() {
  for (;;) {
    TMidiOutMessage* first;
    {
      std::lock_guard<std::mutex> guard(FLock);
      first = FHead->Next;
      if (first == FTail) return;
      // Unlinked here, under the lock; the node's destructor then finds its
      // links cut and touches nothing of the list.
      FHead->Next = first->Next;
      first->Next->Prev = FHead;
      first->Next = nullptr;
      first->Prev = nullptr;
    }
    first->Free();
  }
}

TMidiOutMessage* TMidiOutMessageList::TakeDue(TDateTime Now) {
  std::lock_guard<std::mutex> guard(FLock);
  TMidiOutMessage* first = FHead->Next;
  TMidiOutMessage* last = FHead;
  for (TMidiOutMessage* p = first; p != FTail && !(Now < p->DueTime); p = p->Next) last = p;
  if (last == FHead) return nullptr;
  TMidiOutMessage* rest = last->Next;
  FHead->Next = rest;
  rest->Prev = FHead;
  first->Prev = nullptr;
  last->Next = nullptr;
  return first;
}
