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
  MidiInDriver(CallLog& calls, NoticeQueue& notices, const Clock& clock);

  MMRESULT GetDevCaps(UINT_PTR deviceId, MIDIINCAPSA* caps, UINT capsSize);
  MMRESULT Open(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD flags);
  MMRESULT PrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize);
  MMRESULT UnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize);
  MMRESULT AddBuffer(HMIDIIN handle, MIDIHDR* header, UINT headerSize);
  MMRESULT Start(HMIDIIN handle);
  MMRESULT Stop(HMIDIIN handle);
  MMRESULT Reset(HMIDIIN handle);
  MMRESULT Close(HMIDIIN handle);

  bool IsStarted(int device) const;
  std::size_t QueuedBuffers(int device) const;
  void InjectShort(int device, DWORD message);
  std::size_t InjectSysEx(int device, const std::uint8_t* bytes, std::size_t length);
  bool BreakSysEx(int device);

  void Reset();

 private:
  // The first queued buffer, given back with its bytes (or as broken).
  void ReturnFirstBuffer(InputDevice& device, UINT notice = MM_MIM_LONGDATA);  // caller holds mutex_
};

}  // namespace sim
