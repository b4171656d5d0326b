// One input the engine listens to (the main input or one of the extra ones)
// and what belongs to it alone: what it left sounding, and what it sent
// while another input's system-exclusive message was going out. Main thread
// only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/HeldNotes.h"
#include "midi/MidiInput.h"

struct TInputSource {
  // A message that waits for another input's system-exclusive message to
  // end: a short one (Bytes empty) or a block of system-exclusive bytes.
  struct TWaiting {
    DWORD Short = 0;
    std::vector<std::uint8_t> Bytes;
  };

  TInputSource(std::string Name, std::int32_t DeviceSlots)
      : Name(std::move(Name)), Port(std::make_unique<TMidiInput>()), Held(DeviceSlots) {}

  // The device's display name as stored; the main input's is kept by the
  // engine (it follows the main input list), so there it stays empty.
  std::string Name;
  std::unique_ptr<TMidiInput> Port;
  THeldNotes Held;
  // In arrival order; the bytes of its blocks counted in WaitingBytes.
  std::deque<TWaiting> Waiting;
  std::size_t WaitingBytes = 0;
};
