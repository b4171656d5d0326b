#pragma once

#include <cstdint>

// State of a MIDI port. mpsOpening and mpsClosing exist only while an open
// or a close runs; every step is reported through the port's state event.
// mpsLost: the device answered that it is gone (unplugged, its driver
// unloaded); its handle is released, nothing is sent to it, and the engine
// opens it again once it answers.
enum TMidiPortState : std::uint8_t {
  mpsClosed = 0,
  mpsOpening = 1,
  mpsOpen = 2,
  mpsClosing = 3,
  mpsLost = 4,
};
