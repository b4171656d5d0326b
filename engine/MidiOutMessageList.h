// The queue of scheduled messages, kept in due-time order and first in, first
// out among equal due times. Main thread inserts; the timer thread takes the
// due messages. FLock guards every link of the list and is held only while
// linking and unlinking, never across a send.
#pragma once

#include <mutex>

#include "engine/MidiOutMessage.h"

class TMidiOutMessageList {
 public:
  TMidiOutMessageList();
  ~TMidiOutMessageList();  // Clear, then the sentinels
  TMidiOutMessageList(const TMidiOutMessageList&) = delete;
  TMidiOutMessageList& operator=(const TMidiOutMessageList&) = delete;

  TMidiOutMessage* First() const;  // Tail when empty; read under no lock: main thread tests only
  TPrimordialNode* Head() const { return FHead; }
  TTerminusNode* Tail() const { return FTail; }

  // Links M behind every message due at or before M's due time. Takes
  // ownership. The place is sought from both ends at once, so arrivals in
  // due-time order, and arrivals due before most of the queue, cost
  // constant time.
  void Insert(TMidiOutMessage* M);
  // Frees every message without sending it.
  void Clear();
  bool Empty() const;

  // Unlinks the messages due at or before Now as one chain, in due-time
  // order, and returns its first node (nullptr when nothing is due). The
  // chain's ends are cut loose, so the caller sends and frees it without the
  // lock.
  TMidiOutMessage* TakeDue(TDateTime Now);

 private:
  mutable std::mutex FLock;
  TPrimordialNode* FHead;
  TTerminusNode* FTail;
};
