// The simulated MIDI output driver: configured devices, each open at most
// once, that record what they receive and hold long-message headers until
// the test (or auto-completion) finishes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <string>
#include <vector>

#include "platform/sim/SimCallLog.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimNoticeQueue.h"

namespace sim {

class MidiOutDriver {
 public:
  MidiOutDriver(CallLog& calls, NoticeQueue& notices, const Clock& clock)
      : calls_(calls), notices_(notices), clock_(clock) {}

  UINT GetNumDevs();
  MMRESULT GetDevCaps(UINT_PTR deviceId, MIDIOUTCAPSA* caps, UINT capsSize);
  MMRESULT Open(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD flags);
  MMRESULT ShortMsg(HMIDIOUT handle, DWORD message);
  MMRESULT PrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize);
  MMRESULT UnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize);
  MMRESULT LongMsg(HMIDIOUT handle, MIDIHDR* header, UINT headerSize);
  MMRESULT Reset(HMIDIOUT handle);
  MMRESULT Close(HMIDIOUT handle);

  void SetDevices(std::vector<DeviceConfig> devices);
  void SetPresent(int device, bool present);
  void ChangeDevices(std::vector<DeviceConfig> devices);
  std::vector<Received> ReceivedByDevice(const std::string& name, int unit) const;
  bool IsOpen(int device) const;
  std::uintptr_t Handle(int device) const;
  std::vector<Received> ReceivedBy(int device) const;
  void ClearReceived();
  std::vector<MIDIHDR*> PendingHeaders(int device) const;
  void CompleteHeader(int device, MIDIHDR* header);
  void CompleteAllHeaders(int device);
  void SetAutoComplete(bool on);
  void PostNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam);
  void SetOpenCloseNotices(bool on);

  void Reset();

 private:
  struct Device {
    DeviceConfig Config;
    bool Present = true;
    bool Dead = false;              // the open handle outlived an unplug
    std::uintptr_t Handle = 0;      // 0 while closed
    int OpenedAs = 0;               // the device id the open asked for (-1: the mapper)
    DWORD_PTR Target = 0;           // notice window of the current open, 0 for none
    DWORD_PTR LastTarget = 0;       // the window last given to an open
    std::deque<MIDIHDR*> Held;      // long-message headers not yet done, in send order
    std::vector<Received> Log;      // everything received since Reset / ClearReceived
  };
  struct Target {
    Device* Dev = nullptr;
    int Index = -1;     // the physical device
    int Recorded = -1;  // the device as the open named it
  };

  Target Find(HMIDIOUT handle);                                  // caller holds mutex_
  // The physical device of an id (the mapper: the first), or -1.
  int Physical(UINT_PTR deviceId) const;                         // caller holds mutex_
  Device& At(int device, const char* what);                      // caller holds mutex_
  const Device* AtOrNull(int device) const;                      // caller holds mutex_
  void Complete(Device& device, MIDIHDR* header);                // caller holds mutex_
  void Record(Call what, int device, std::uintptr_t handle, std::uintptr_t arg, MMRESULT result);
  template <typename Work>
  MMRESULT OnHandle(Call what, HMIDIOUT handle, std::uintptr_t arg, Work work);

  CallLog& calls_;
  NoticeQueue& notices_;
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<Device> devices_;                          // guarded by mutex_; every device ever known
  std::vector<int> order_;                               // guarded by mutex_; device id -> devices_
  std::unordered_map<std::uintptr_t, int> openHandles_;  // guarded by mutex_; handle -> device
  bool autoComplete_ = true;                             // guarded by mutex_
  bool openCloseNotices_ = true;                         // guarded by mutex_
};

}  // namespace sim
