// The simulated MIDI output driver: configured devices, each open at most
// once, that record what they receive and hold long-message headers until
// the test (or auto-completion) finishes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/SimDeviceDriver.h"

namespace sim {

struct OutputDevice : DeviceState {
  std::vector<Received> Log;  // everything received since Reset / ClearReceived
};

class MidiOutDriver : public DeviceDriver<OutputDevice, HMIDIOUT> {
 public:
  MidiOutDriver(CallLog& Calls, NoticeQueue& Notices, const Clock& MachineClock);

  MMRESULT Open(HMIDIOUT* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD Flags);
  MMRESULT ShortMsg(HMIDIOUT Handle, DWORD Message);
  MMRESULT LongMsg(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize);
  MMRESULT Reset(HMIDIOUT Handle);

  std::vector<Received> ReceivedByDevice(const std::string& Name, int Unit) const;
  std::vector<Received> ReceivedBy(int Device) const;
  void ClearReceived();
  std::vector<MIDIHDR*> PendingHeaders(int Device) const;
  void CompleteHeader(int Device, MIDIHDR* Header);
  void CompleteAllHeaders(int Device);
  void SetAutoComplete(bool On);

  void Reset();

 private:
  void Complete(OutputDevice& Device, MIDIHDR* Header) {  // caller holds mutex_
    GiveBack(Device, Header, MM_MOM_DONE);
  }
  void CompleteAll(OutputDevice& Device);  // caller holds mutex_

  bool autoComplete_ = true;  // guarded by mutex_
};

}  // namespace sim
