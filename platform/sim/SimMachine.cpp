#include "platform/sim/SimMachine.h"

namespace sim {

Machine::Machine() = default;

Machine::~Machine() {
  // The timer threads go first: their callbacks reach the drivers.
  Timer.Reset();
}

void Machine::Reset() {
  // Nothing may run while the rest is cleared: the timer goes first.
  Timer.Reset();
  MidiIn.Reset();
  MidiOut.Reset();
  Notices.DropAll();
  ProcessHeap.Reset();
  Calls.Reset();
  WallClock.Reset();
  FileSystem.Reset();
}

Machine& TheMachine() {
  static Machine machine;
  return machine;
}

}  // namespace sim
