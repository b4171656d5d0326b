// The body the simulated input and output drivers share: the devices with
// their ids and open handles, and the calls that go the same way for both
// (count, capabilities, open, close, the checks of a call on a handle, the
// test's own controls). Each driver adds what only its side does.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/sim/SimCallLog.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimDevices.h"
#include "platform/sim/SimHandles.h"
#include "platform/sim/SimNoticeQueue.h"

namespace sim {

// What every simulated device holds, input or output.
struct DeviceState {
  DeviceConfig Config;
  bool Present = true;
  bool Dead = false;              // the open handle outlived an unplug
  std::uintptr_t Handle = 0;      // 0 while closed
  int OpenedAs = 0;               // the device id the open asked for (-1: the mapper)
  DWORD_PTR Target = 0;           // notice window of the current open, 0 for none
  DWORD_PTR LastTarget = 0;       // the window last given to an open
  // The headers the driver has not given back yet, in order: an input's
  // queued buffers, an output's long messages not yet done.
  std::deque<MIDIHDR*> Held;

  bool Holds(const MIDIHDR* header) const {
    return std::find(Held.begin(), Held.end(), header) != Held.end();
  }
  // Back to how a device is between opens; a side with more state hides it.
  void Rest() {}
};

// The words that tell the two sides apart in calls and in misuse reports.
struct DriverSide {
  const char* Name;          // "input" or "output"
  const char* Title;         // "Input" or "Output"
  Call GetNumDevs;
  Call GetDevCaps;
  Call Open;
  Call Close;
  UINT OpenNotice;           // MM_MIM_OPEN or MM_MOM_OPEN
  UINT CloseNotice;          // MM_MIM_CLOSE or MM_MOM_CLOSE
  bool HasMapper;            // device id -1 (MIDI_MAPPER) opens the first device
  bool RecordsOpenedAs;      // handle calls are recorded with the id the open used
};

template <typename TDevice, typename THandle>
class DeviceDriver {
 public:
  UINT GetNumDevs() {
    std::lock_guard<std::mutex> lock(mutex_);
    UINT count = static_cast<UINT>(order_.size());
    MMRESULT result = MMSYSERR_NOERROR;
    if (const auto failure = calls_.TakeFailure(side_.GetNumDevs, -1)) {
      result = *failure;
      count = 0;  // a failing count call reports no devices
    }
    Record(side_.GetNumDevs, -1, 0, count, result);
    return count;
  }

  void SetDevices(std::vector<DeviceConfig> devices) {
    CheckDeviceConfigs(devices);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!openHandles_.empty()) {
      throw std::logic_error(std::string("sim: Set") + side_.Title + "Devices while an " + side_.Name +
                             " device is open");
    }
    devices_.clear();
    order_.clear();
    for (DeviceConfig& config : devices) {
      TDevice device;
      device.Config = std::move(config);
      order_.push_back(static_cast<int>(devices_.size()));
      devices_.push_back(std::move(device));
    }
  }

  void SetPresent(int device, bool present) {
    std::lock_guard<std::mutex> lock(mutex_);
    SetDevicePresent(At(device, (std::string("Set") + side_.Title + "Present").c_str()), present);
  }

  void ChangeDevices(std::vector<DeviceConfig> devices) {
    std::lock_guard<std::mutex> lock(mutex_);
    order_ = ChangeDeviceList(devices_, std::move(devices));
  }

  bool IsOpen(int device) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const TDevice* found = AtOrNull(device);
    return found != nullptr && found->Handle != 0;
  }

  std::uintptr_t Handle(int device) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const TDevice* found = AtOrNull(device);
    return found == nullptr ? 0 : found->Handle;
  }

  void PostNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(mutex_);
    const TDevice& found = At(device, (std::string("Post") + side_.Title + "Notice").c_str());
    notices_.Post(found.Handle != 0 && found.Target != 0 ? found.Target : found.LastTarget, msg,
                  wParam, lParam);
  }

  void SetOpenCloseNotices(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    openCloseNotices_ = on;
  }

 protected:
  DeviceDriver(CallLog& calls, NoticeQueue& notices, const Clock& clock, const DriverSide& side)
      : calls_(calls), notices_(notices), clock_(clock), side_(side) {}

  // The device a handle names, if it is open; index -1 otherwise. Recorded
  // is the device as the driver's records name it.
  struct Target {
    TDevice* Dev = nullptr;
    int Index = -1;     // the physical device
    int Recorded = -1;
  };

  static std::uintptr_t Key(THandle handle) { return reinterpret_cast<std::uintptr_t>(handle); }
  static std::uintptr_t Key(const MIDIHDR* header) { return reinterpret_cast<std::uintptr_t>(header); }

  void Record(Call what, int device, std::uintptr_t handle, std::uintptr_t arg, MMRESULT result) {
    calls_.Record(what, device, handle, arg, result, clock_.Now());
  }

  Target Find(THandle handle) {  // caller holds mutex_
    const auto found = openHandles_.find(Key(handle));
    if (found == openHandles_.end()) return {};
    TDevice& device = devices_[static_cast<std::size_t>(found->second)];
    return {.Dev = &device, .Index = found->second,
            .Recorded = side_.RecordsOpenedAs ? device.OpenedAs : found->second};
  }

  // The physical device of an id (the mapper: the first), or -1.
  int Physical(UINT_PTR deviceId) const {  // caller holds mutex_
    if (side_.HasMapper &&
        (deviceId == static_cast<UINT_PTR>(MIDI_MAPPER) || deviceId == static_cast<UINT_PTR>(-1))) {
      return order_.empty() ? -1 : order_[0];
    }
    return deviceId < order_.size() ? order_[deviceId] : -1;
  }

  TDevice& At(int device, const char* what) {  // caller holds mutex_
    if (device < 0 || static_cast<std::size_t>(device) >= order_.size()) {
      throw std::out_of_range(std::string("sim: ") + what + ": no " + side_.Name + " device " +
                              std::to_string(device));
    }
    return devices_[static_cast<std::size_t>(order_[static_cast<std::size_t>(device)])];
  }

  const TDevice* AtOrNull(int device) const {  // caller holds mutex_
    if (device < 0 || static_cast<std::size_t>(device) >= order_.size()) return nullptr;
    return &devices_[static_cast<std::size_t>(order_[static_cast<std::size_t>(device)])];
  }

  // The skeleton of every call on a handle: failure injection, handle and
  // presence checks, then the work; recorded with its result.
  template <typename Work>
  MMRESULT OnHandle(Call what, THandle handle, std::uintptr_t arg, Work work) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Target target = Find(handle);
    MMRESULT result;
    if (const auto failure = calls_.TakeFailure(what, target.Index)) {
      result = *failure;
    } else if (target.Dev == nullptr) {
      result = MMSYSERR_INVALHANDLE;
    } else if (!target.Dev->Present || target.Dev->Dead) {
      result = MMSYSERR_NODRIVER;
    } else {
      result = work(*target.Dev);
    }
    Record(what, target.Recorded, Key(handle), arg, result);
    return result;
  }

  template <typename Caps>
  MMRESULT AnswerDevCaps(UINT_PTR deviceId, Caps* caps, UINT capsSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int index = Physical(deviceId);
    MMRESULT result;
    if (const auto failure = calls_.TakeFailure(side_.GetDevCaps, index)) {
      result = *failure;
    } else if (index < 0) {
      result = MMSYSERR_BADDEVICEID;
    } else {
      const TDevice& device = devices_[static_cast<std::size_t>(index)];
      if (!device.Present) {
        result = MMSYSERR_NODRIVER;
      } else if (device.Config.CapsFail) {
        result = MMSYSERR_ERROR;
      } else {
        Caps full{};
        full.wMid = 0x00FF;
        full.wPid = static_cast<WORD>(deviceId);
        full.vDriverVersion = device.Config.DriverVersion;
        CopyProductName(device.Config, full.szPname);
        if constexpr (std::is_same_v<Caps, MIDIOUTCAPSA>) {
          full.wTechnology = MidiPortTechnology;
          full.wVoices = 0;
          full.wNotes = 0;
          full.wChannelMask = 0xFFFF;
        }
        full.dwSupport = 0;
        result = AnswerCaps(full, caps, capsSize);
      }
    }
    Record(side_.GetDevCaps, static_cast<int>(deviceId), 0, capsSize, result);
    return result;
  }

  MMRESULT OpenDevice(THandle* handle, UINT deviceId, DWORD_PTR callback, DWORD flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int index = Physical(deviceId);
    const int recorded = static_cast<int>(deviceId);
    const DWORD callbackType = flags & CallbackTypeMask;
    std::uintptr_t opened = 0;
    MMRESULT result;
    if (const auto failure = calls_.TakeFailure(side_.Open, index)) {
      result = *failure;
    } else if (handle == nullptr) {
      result = MMSYSERR_INVALPARAM;
    } else if (index < 0) {
      result = MMSYSERR_BADDEVICEID;  // no such device (an input has no mapper)
    } else if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_WINDOW) {
      result = MMSYSERR_INVALFLAG;  // the simulated driver notifies windows only
    } else {
      TDevice& device = devices_[static_cast<std::size_t>(index)];
      if (!device.Present) {
        result = MMSYSERR_NODRIVER;
      } else if (device.Config.RefuseOpen || device.Handle != 0) {
        result = MMSYSERR_ALLOCATED;  // one client at a time, as most MIDI drivers (the mapper included)
      } else {
        opened = NewDeviceHandle();
        device.Handle = opened;
        device.OpenedAs = recorded;
        device.Target = callbackType == CALLBACK_WINDOW ? callback : 0;
        if (device.Target != 0) device.LastTarget = device.Target;
        device.Rest();
        device.Held.clear();
        openHandles_.emplace(opened, index);
        if (openCloseNotices_) notices_.Post(device.Target, side_.OpenNotice, opened, 0);
        result = MMSYSERR_NOERROR;
      }
    }
    if (handle != nullptr) *handle = reinterpret_cast<THandle>(opened);
    Record(side_.Open, recorded, opened, callback, result);
    return result;
  }

  MMRESULT CloseDevice(THandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Target target = Find(handle);
    MMRESULT result;
    if (const auto failure = calls_.TakeFailure(side_.Close, target.Index)) {
      result = *failure;
    } else if (target.Dev == nullptr) {
      result = MMSYSERR_INVALHANDLE;
    } else if (target.Dev->Present && !target.Dev->Dead && !target.Dev->Held.empty()) {
      result = MIDIERR_STILLPLAYING;
    } else {
      // A device that has gone answers that it is gone, but the handle is
      // released all the same (the headers it held are lost with it), so
      // the device can be opened again when it comes back.
      TDevice& device = *target.Dev;
      const bool answers = device.Present && !device.Dead;
      result = answers ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
      device.Dead = false;
      if (answers && openCloseNotices_) notices_.Post(device.Target, side_.CloseNotice, device.Handle, 0);
      for (MIDIHDR* header : device.Held) header->dwFlags &= ~MHDR_INQUEUE;
      device.Held.clear();
      openHandles_.erase(device.Handle);
      device.Handle = 0;
      device.Target = 0;
      device.Rest();
    }
    Record(side_.Close, target.Recorded, Key(handle), 0, result);
    return result;
  }

  // Gives a header back to the program: done, with the notice of its side.
  void GiveBack(TDevice& device, MIDIHDR* header, UINT notice) {  // caller holds mutex_
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    notices_.Post(device.Target, notice, device.Handle,
                  static_cast<LPARAM>(reinterpret_cast<std::intptr_t>(header)));
  }

  // The first checks of a header handed to the driver to hold (an input's
  // buffer, an output's long message); 0 when it may be taken.
  static MMRESULT CheckHeaderToHold(const TDevice& device, const MIDIHDR* header, UINT headerSize) {
    if (header == nullptr || !HeaderSizeValid(headerSize)) return MMSYSERR_INVALPARAM;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    if (device.Holds(header) || (header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Prepare(Call what, THandle handle, MIDIHDR* header, UINT headerSize, bool EmptyAllowed) {
    return OnHandle(what, handle, Key(header), [&](TDevice&) -> MMRESULT {
      if (header == nullptr || !HeaderSizeValid(headerSize) || header->lpData == nullptr ||
          (!EmptyAllowed && header->dwBufferLength == 0)) {
        return MMSYSERR_INVALPARAM;
      }
      header->dwFlags |= MHDR_PREPARED;  // preparing a prepared header changes nothing
      return MMSYSERR_NOERROR;
    });
  }

  MMRESULT Unprepare(Call what, THandle handle, MIDIHDR* header, UINT headerSize) {
    return OnHandle(what, handle, Key(header), [&](TDevice& device) -> MMRESULT {
      if (header == nullptr || !HeaderSizeValid(headerSize)) return MMSYSERR_INVALPARAM;
      if (device.Holds(header) || (header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
      header->dwFlags &= ~MHDR_PREPARED;
      return MMSYSERR_NOERROR;
    });
  }

  void ResetDriver() {  // caller holds mutex_
    devices_.clear();
    order_.clear();
    openHandles_.clear();
    openCloseNotices_ = true;
  }

  CallLog& calls_;
  NoticeQueue& notices_;
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<TDevice> devices_;                         // guarded by mutex_; every device ever known
  std::vector<int> order_;                               // guarded by mutex_; device id -> devices_
  std::unordered_map<std::uintptr_t, int> openHandles_;  // guarded by mutex_; handle -> device
  bool openCloseNotices_ = true;                         // guarded by mutex_

 private:
  static constexpr DWORD CallbackTypeMask = 0x00070000;
  static constexpr WORD MidiPortTechnology = 1;  // MOD_MIDIPORT

  const DriverSide side_;
};

}  // namespace sim
