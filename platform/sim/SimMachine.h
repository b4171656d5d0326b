// The one simulated machine of the process, as the real system is one: the
// drivers, the timer service, the heap, the clock, the files and the notice
// queue, with the call log they all record into.
#pragma once

#include "platform/sim/SimCallLog.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimHeap.h"
#include "platform/sim/SimMidiIn.h"
#include "platform/sim/SimMidiOut.h"
#include "platform/sim/SimNoticeQueue.h"
#include "platform/sim/SimTimer.h"

namespace sim {

struct Machine {
  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  void Reset();

  // Declared in the order of their dependencies: each part records into the
  // call log and reads the clock, so those are built first and destroyed last.
  CallLog Calls;
  Clock WallClock;
  NoticeQueue Notices;
  Heap ProcessHeap{Calls, WallClock};
  Files FileSystem{Calls, WallClock};
  MidiInDriver MidiIn{Calls, Notices, WallClock};
  MidiOutDriver MidiOut{Calls, Notices, WallClock};
  TimerService Timer{Calls, WallClock};
};

// Built at first use, so that it outlives every object that was built with
// it in mind (a static object built before it would call it first).
Machine& TheMachine();

}  // namespace sim
