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
  MidiOutDriver(CallLog& calls, NoticeQueue& notices, const Clock& clock);

  MMRESULT GetDevCaps(UINT_PTR deviceId, MIDIOUTCAPSA* caps, UINT capsSize);
  MMRESULT Open(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD flags);
  MMRESULT ShortMsg(HMIDIOUT handle, DWORD message);
  MMRESULT PrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize);
  MMRESULT UnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize);
  MMRESULT LongMsg(HMIDIOUT handle, MIDIHDR* header, UINT headerSize);
  MMRESULT Reset(HMIDIOUT handle);
  MMRESULT Close(HMIDIOUT handle);

  std::vector<Received> ReceivedByDevice(const std::string& name, int unit) const;
  std::vector<Received> ReceivedBy(int device) const;
  void ClearReceived();
  std::vector<MIDIHDR*> PendingHeaders(int device) const;
  void CompleteHeader(int device, MIDIHDR* header);
  void CompleteAllHeaders(int device);
  void SetAutoComplete(bool on);

  void Reset();

 private:
  void Complete(OutputDevice& device, MIDIHDR* header) {  // caller holds mutex_
    GiveBack(device, header, MM_MOM_DONE);
  }
  void CompleteAll(OutputDevice& device);  // caller holds mutex_

  bool autoComplete_ = true;  // guarded by mutex_
};

}  // namespace sim
