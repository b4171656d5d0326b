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
  // strictly later: behind every message due at or before M. It is sought
  // from both ends at once, a step at a time, so the cost is the distance to
  // the nearer end and the lock is held that long: a steady stream through
  // one delay stops at once at the latest end, and a message with a short
  // delay among many with a long one at once at the earliest end.
  TMidiOutMessage* earlier = FTail->Prev;  // back: the last node due at or before M
  TMidiOutMessage* later = FHead->Next;    // forward: the first node due later than M
  for (;;) {
    if (earlier == FHead || !(earlier->DueTime > M->DueTime)) {
      earlier->Next->InsertBefore(M);
      return;
    }
    // The tail's far-future due time ends this walk at the latest.
    if (later->DueTime > M->DueTime) {
      later->InsertBefore(M);
      return;
    }
    earlier = earlier->Prev;
    later = later->Next;
  }
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
