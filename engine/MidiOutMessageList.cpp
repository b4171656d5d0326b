#include "engine/MidiOutMessageList.h"

TMidiOutMessageList::TMidiOutMessageList() : FHead(new TPrimordialNode), FTail(new TTerminusNode) {
  FHead->Next = FTail;
  FTail->Prev = FHead;
}

TMidiOutMessageList::~TMidiOutMessageList() {
  Clear();
  FHead->ForceDestroy();
  FTail->ForceDestroy();
  TMidiOutShortMessage::ReleaseIdlePool();
}

TMidiOutMessage* TMidiOutMessageList::First() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FHead->Next;
}

bool TMidiOutMessageList::Empty() const {
  std::lock_guard<std::mutex> guard(FLock);
  // Under the lock no tick is between taking the posted messages and
  // linking them, so a message is always in one of the two places.
  return FPosted.Empty() && FHead->Next == FTail;
}

void TMidiOutMessageList::Insert(TMidiOutMessage* M) {
  std::lock_guard<std::mutex> guard(FLock);
  Link(M);
}

void TMidiOutMessageList::Post(TMidiOutMessage* M) { FPosted.Post(M); }

void TMidiOutMessageList::Link(TMidiOutMessage* M) {
  const std::int32_t run = M->InsertionRun();
  TMidiOutMessage** runLast = nullptr;
  if (run >= 0 && run < TrackedRuns) {
    runLast = &FRunLast[static_cast<std::size_t>(run)];
    if (run >= FRunsSeen) FRunsSeen = run + 1;
  }
  // Nothing before `from` is due later than M.
  TMidiOutMessage* from = FHead;
  if (runLast != nullptr && *runLast != nullptr && !(M->DueTime < (*runLast)->DueTime)) from = *runLast;
  // The place behind every node due at or before M is sought forward from
  // `from` and back from the latest end at once, a step at a time.
  TMidiOutMessage* earlier = FTail->Prev;  // back: the last node due at or before M
  TMidiOutMessage* later = from->Next;     // forward: the first node due later than M
  for (;;) {
    if (earlier == from || !(earlier->DueTime > M->DueTime)) {
      earlier->Next->InsertBefore(M);
      break;
    }
    // The tail's far-future due time ends this walk at the latest.
    if (later->DueTime > M->DueTime) {
      later->InsertBefore(M);
      break;
    }
    earlier = earlier->Prev;
    later = later->Next;
  }
  if (runLast != nullptr) *runLast = M;
}

void TMidiOutMessageList::LinkPosted() {
  TMidiOutMessage* m = FPosted.TakeAll();
  while (m != nullptr) {
    TMidiOutMessage* next = m->Next;
    Link(m);
    m = next;
  }
}

void TMidiOutMessageList::ForgetRunsDueBy(TDateTime Now) {
  for (std::int32_t run = 0; run < FRunsSeen; ++run) {
    TMidiOutMessage*& last = FRunLast[static_cast<std::size_t>(run)];
    if (last != nullptr && !(Now < last->DueTime)) last = nullptr;
  }
}

void TMidiOutMessageList::Clear() {
  TMidiOutMessage* posted;
  {
    std::lock_guard<std::mutex> guard(FLock);
    posted = FPosted.TakeAll();
    FRunLast.fill(nullptr);
  }
  while (posted != nullptr) {
    TMidiOutMessage* next = posted->Next;
    posted->Next = nullptr;  // not linked: freeing it must touch no other node
    posted->Free();
    posted = next;
  }
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
  LinkPosted();
  TMidiOutMessage* first = FHead->Next;
  TMidiOutMessage* last = FHead;
  for (TMidiOutMessage* p = first; p != FTail && !(Now < p->DueTime); p = p->Next) last = p;
  if (last == FHead) return nullptr;
  // Before the chain goes to be sent and freed: no run may start from it.
  ForgetRunsDueBy(Now);
  TMidiOutMessage* rest = last->Next;
  FHead->Next = rest;
  rest->Prev = FHead;
  first->Prev = nullptr;
  last->Next = nullptr;
  return first;
}

bool TMidiOutMessageList::NextDue(TDateTime& Due) const {
  std::lock_guard<std::mutex> guard(FLock);
  if (FHead->Next == FTail) return false;
  Due = FHead->Next->DueTime;
  return true;
}
