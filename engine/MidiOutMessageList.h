// The queue of scheduled messages, kept in due-time order and first in, first
// out among equal due times. The main thread posts arrivals through a
// hand-off that takes no lock; the timer thread links them in at its next
// tick and then takes the due messages, so neither thread ever waits for the
// other's work.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "engine/MessageHandOff.h"
#include "engine/MidiOutMessage.h"

class TMidiOutMessageList {
 public:
  // Runs whose last inserted message is remembered: the system-exclusive run
  // and the first TrackedRuns - 1 devices. Messages of other runs are placed
  // by the walk from both ends.
  static constexpr std::int32_t TrackedRuns = 64;

  TMidiOutMessageList();
  ~TMidiOutMessageList();  // Clear, then the sentinels
  TMidiOutMessageList(const TMidiOutMessageList&) = delete;
  TMidiOutMessageList& operator=(const TMidiOutMessageList&) = delete;

  // The earliest linked message (Tail when none); posted arrivals are linked
  // at the next TakeDue.
  TMidiOutMessage* First() const;
  TPrimordialNode* Head() const { return FHead; }
  TTerminusNode* Tail() const { return FTail; }

  // Links M behind every message due at or before M's due time, at once.
  // Takes ownership. Within a run (one device's short messages, or the
  // system-exclusive blocks) due times come in arrival order, so the place
  // is sought forward from the run's last inserted message and back from the
  // latest end at once: constant time for any mix of delays. When the run
  // has none left (it was sent) or M is due before it (the wall clock was set
  // back), both ends of the queue are the starting points.
  void Insert(TMidiOutMessage* M);
  // The main thread's hand-off: never waits for the timer thread. Takes
  // ownership; M is linked at the next TakeDue.
  void Post(TMidiOutMessage* M);
  // Frees every message, posted or linked, without sending it; only while
  // no tick runs (at the engine's end).
  void Clear();
  bool Empty() const;  // nothing linked and nothing posted

  // Timer thread: links what was posted, then unlinks the messages due at or
  // before Now as one chain, in due-time order, and returns its first node
  // (nullptr when nothing is due). The chain's ends are cut loose, so the
  // caller sends and frees it without the lock. A message leaves the list
  // only here or through Clear.
  TMidiOutMessage* TakeDue(TDateTime Now);
  // Timer thread, after TakeDue: when the earliest message still linked is
  // due; false when none is. Arrivals posted since are not counted: whoever
  // posts one asks for its own wake-up.
  bool NextDue(TDateTime& Due) const;

 private:
  void Link(TMidiOutMessage* M);              // caller holds FLock
  void LinkPosted();                          // caller holds FLock
  void ForgetRunsDueBy(TDateTime Now);        // caller holds FLock

  // Held by the tick while it links posted arrivals and takes the due ones,
  // and briefly by Insert, First, Empty and Clear, which the engine's main
  // thread calls only with the timer stopped.
  mutable std::mutex FLock;
  TPrimordialNode* FHead;  // links of every node: guarded by FLock
  TTerminusNode* FTail;
  TMessageHandOff FPosted;  // its own atomic
  // Each run's last inserted message still linked, or nullptr; guarded by FLock.
  std::array<TMidiOutMessage*, TrackedRuns> FRunLast{};
  std::int32_t FRunsSeen = 0;  // runs below this may hold a position; guarded by FLock
};
