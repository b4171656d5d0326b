// The simulated MIDI input driver: configured devices, each open at most once,
// with a queue of buffers that injected system-exclusive bytes fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/sim/SimCallLog.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimNoticeQueue.h"

namespace sim {

class MidiInDriver {
 public:
  MidiInDriver(CallLog& calls, NoticeQueue& notices, const Clock& clock)
      : calls_(calls), notices_(notices), clock_(clock) {}

  UINT GetNumDevs();
  MMRESULT GetDevCaps(UINT_PTR deviceId, MIDIINCAPSA* caps, UINT capsSize);
  MMRESULT Open(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD flags);
  MMRESULT PrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize);
  MMRESULT UnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize);
  MMRESULT AddBuffer(HMIDIIN handle, MIDIHDR* header, UINT headerSize);
  MMRESULT Start(HMIDIIN handle);
  MMRESULT Stop(HMIDIIN handle);
  MMRESULT Reset(HMIDIIN handle);
  MMRESULT Close(HMIDIIN handle);

  void SetDevices(std::vector<DeviceConfig> devices);
  void SetPresent(int device, bool present);
  void ChangeDevices(std::vector<DeviceConfig> devices);
  bool IsOpen(int device) const;
  bool IsStarted(int device) const;
  std::size_t QueuedBuffers(int device) const;
  std::uintptr_t Handle(int device) const;
  void InjectShort(int device, DWORD message);
  std::size_t InjectSysEx(int device, const std::uint8_t* bytes, std::size_t length);
  bool BreakSysEx(int device);
  void PostNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam);
  void SetOpenCloseNotices(bool on);

  void Reset();

 private:
  struct Device {
    DeviceConfig Config;
    bool Present = true;
    bool Dead = false;              // the open handle outlived an unplug
    std::uintptr_t Handle = 0;      // 0 while closed
    DWORD_PTR Target = 0;           // notice window of the current open, 0 for none
    DWORD_PTR LastTarget = 0;       // the window last given to an open
    bool Started = false;
    std::deque<MIDIHDR*> Queue;     // buffers given with AddBuffer, in order
  };
  // The device a handle names, if it is open; index -1 otherwise.
  struct Target {
    Device* Dev = nullptr;
    int Index = -1;
  };

  Target Find(HMIDIIN handle);                                   // caller holds mutex_
  int Physical(UINT_PTR deviceId) const;                         // caller holds mutex_; -1 for none
  Device& At(int device, const char* what);                      // caller holds mutex_
  const Device* AtOrNull(int device) const;                      // caller holds mutex_
  void ReturnBuffer(Device& device, MIDIHDR* header, UINT notice = MM_MIM_LONGDATA);  // caller holds mutex_
  void Record(Call what, int device, std::uintptr_t handle, std::uintptr_t arg, MMRESULT result);
  // The skeleton of every call on a handle: failure injection, handle and
  // presence checks, then the work; recorded with its result.
  template <typename Work>
  MMRESULT OnHandle(Call what, HMIDIIN handle, std::uintptr_t arg, Work work);

  CallLog& calls_;
  NoticeQueue& notices_;
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<Device> devices_;                          // guarded by mutex_; every device ever known
  std::vector<int> order_;                               // guarded by mutex_; device id -> devices_
  std::unordered_map<std::uintptr_t, int> openHandles_;  // guarded by mutex_; handle -> device
  bool openCloseNotices_ = true;                         // guarded by mutex_
};

}  // namespace sim
