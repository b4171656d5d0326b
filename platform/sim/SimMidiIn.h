// The simulated MIDI input driver: configured devices, each open at most once,
// with a queue of buffers that injected system-exclusive bytes fill.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sim/SimDeviceDriver.h"

namespace sim {

struct InputDevice : DeviceState {
  bool Started = false;
  void Rest() { Started = false; }
};

class MidiInDriver : public DeviceDriver<InputDevice, HMIDIIN> {
 public:
  MidiInDriver(CallLog& Calls, NoticeQueue& Notices, const Clock& MachineClock);

  MMRESULT AddBuffer(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize);
  MMRESULT Start(HMIDIIN Handle);
  MMRESULT Stop(HMIDIIN Handle);
  MMRESULT Reset(HMIDIIN Handle);

  bool IsStarted(int Device) const;
  std::size_t QueuedBuffers(int Device) const;
  void InjectShort(int Device, DWORD Message);
  std::size_t InjectSysEx(int Device, const std::uint8_t* Bytes, std::size_t Length);
  bool BreakSysEx(int Device);

  void Reset();

 private:
  // The first queued buffer, given back with its bytes (or as broken).
  void ReturnFirstBuffer(InputDevice& Device, UINT Notice = MM_MIM_LONGDATA);  // caller holds mutex_
};

}  // namespace sim
