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

  bool Holds(const MIDIHDR* Header) const {
    return std::find(Held.begin(), Held.end(), Header) != Held.end();
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
  Call PrepareHeader;
  Call UnprepareHeader;
  Call Close;
  UINT OpenNotice;           // MM_MIM_OPEN or MM_MOM_OPEN
  UINT CloseNotice;          // MM_MIM_CLOSE or MM_MOM_CLOSE
  bool EmptyHeaders;         // a header of no bytes may be prepared (output)
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

  template <typename Caps>
  MMRESULT GetDevCaps(UINT_PTR DeviceId, Caps* Answer, UINT CapsSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int index = Physical(DeviceId);
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
        full.wPid = static_cast<WORD>(DeviceId);
        full.vDriverVersion = device.Config.DriverVersion;
        CopyProductName(device.Config, full.szPname);
        if constexpr (std::is_same_v<Caps, MIDIOUTCAPSA>) {
          full.wTechnology = MidiPortTechnology;
          full.wVoices = 0;
          full.wNotes = 0;
          full.wChannelMask = 0xFFFF;
        }
        full.dwSupport = 0;
        result = AnswerCaps(full, Answer, CapsSize);
      }
    }
    Record(side_.GetDevCaps, static_cast<int>(DeviceId), 0, CapsSize, result);
    return result;
  }

  MMRESULT Open(THandle* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD Flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int index = Physical(DeviceId);
    const int recorded = static_cast<int>(DeviceId);
    const DWORD callbackType = Flags & CallbackTypeMask;
    std::uintptr_t opened = 0;
    MMRESULT result;
    if (const auto failure = calls_.TakeFailure(side_.Open, index)) {
      result = *failure;
    } else if (Handle == nullptr) {
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
        device.Target = callbackType == CALLBACK_WINDOW ? Callback : 0;
        if (device.Target != 0) device.LastTarget = device.Target;
        device.Rest();
        device.Held.clear();
        openHandles_.emplace(opened, index);
        if (openCloseNotices_) notices_.Post(device.Target, side_.OpenNotice, opened, 0);
        result = MMSYSERR_NOERROR;
      }
    }
    if (Handle != nullptr) *Handle = reinterpret_cast<THandle>(opened);
    Record(side_.Open, recorded, opened, Callback, result);
    return result;
  }

  MMRESULT PrepareHeader(THandle Handle, MIDIHDR* Header, UINT HeaderSize) {
    return OnHandle(side_.PrepareHeader, Handle, Key(Header), [&](TDevice&) -> MMRESULT {
      if (Header == nullptr || !HeaderSizeValid(HeaderSize) || Header->lpData == nullptr ||
          (!side_.EmptyHeaders && Header->dwBufferLength == 0)) {
        return MMSYSERR_INVALPARAM;
      }
      Header->dwFlags |= MHDR_PREPARED;  // preparing a prepared header changes nothing
      return MMSYSERR_NOERROR;
    });
  }

  MMRESULT UnprepareHeader(THandle Handle, MIDIHDR* Header, UINT HeaderSize) {
    return OnHandle(side_.UnprepareHeader, Handle, Key(Header), [&](TDevice& device) -> MMRESULT {
      if (Header == nullptr || !HeaderSizeValid(HeaderSize)) return MMSYSERR_INVALPARAM;
      if (device.Holds(Header) || (Header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
      Header->dwFlags &= ~MHDR_PREPARED;
      return MMSYSERR_NOERROR;
    });
  }

  MMRESULT Close(THandle Handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Target target = Find(Handle);
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
    Record(side_.Close, target.Recorded, Key(Handle), 0, result);
    return result;
  }

  void SetDevices(std::vector<DeviceConfig> Devices) {
    CheckDeviceConfigs(Devices);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!openHandles_.empty()) {
      throw std::logic_error(std::string("sim: Set") + side_.Title + "Devices while an " + side_.Name +
                             " device is open");
    }
    devices_.clear();
    order_.clear();
    for (DeviceConfig& config : Devices) {
      TDevice device;
      device.Config = std::move(config);
      order_.push_back(static_cast<int>(devices_.size()));
      devices_.push_back(std::move(device));
    }
  }

  void SetPresent(int Device, bool Present) {
    std::lock_guard<std::mutex> lock(mutex_);
    SetDevicePresent(At(Device, (std::string("Set") + side_.Title + "Present").c_str()), Present);
  }

  void ChangeDevices(std::vector<DeviceConfig> Devices) {
    std::lock_guard<std::mutex> lock(mutex_);
    order_ = ChangeDeviceList(devices_, std::move(Devices));
  }

  bool IsOpen(int Device) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const TDevice* found = AtOrNull(Device);
    return found != nullptr && found->Handle != 0;
  }

  std::uintptr_t Handle(int Device) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const TDevice* found = AtOrNull(Device);
    return found == nullptr ? 0 : found->Handle;
  }

  void PostNotice(int Device, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(mutex_);
    const TDevice& found = At(Device, (std::string("Post") + side_.Title + "Notice").c_str());
    notices_.Post(found.Handle != 0 && found.Target != 0 ? found.Target : found.LastTarget, Msg,
                  wParam, lParam);
  }

  void SetOpenCloseNotices(bool On) {
    std::lock_guard<std::mutex> lock(mutex_);
    openCloseNotices_ = On;
  }

 protected:
  DeviceDriver(CallLog& Calls, NoticeQueue& Notices, const Clock& MachineClock, const DriverSide& Side)
      : calls_(Calls), notices_(Notices), clock_(MachineClock), side_(Side) {}

  // The device a handle names, if it is open; index -1 otherwise. Recorded
  // is the device as the driver's records name it.
  struct Target {
    TDevice* Dev = nullptr;
    int Index = -1;     // the physical device
    int Recorded = -1;
  };

  static std::uintptr_t Key(THandle Handle) { return reinterpret_cast<std::uintptr_t>(Handle); }
  static std::uintptr_t Key(const MIDIHDR* Header) { return reinterpret_cast<std::uintptr_t>(Header); }

  void Record(Call What, int Device, std::uintptr_t Handle, std::uintptr_t Arg, MMRESULT Result) {
    calls_.Record(What, Device, Handle, Arg, Result, clock_.Now());
  }

  Target Find(THandle Handle) {  // caller holds mutex_
    const auto found = openHandles_.find(Key(Handle));
    if (found == openHandles_.end()) return {};
    TDevice& device = devices_[static_cast<std::size_t>(found->second)];
    return {.Dev = &device, .Index = found->second,
            .Recorded = side_.RecordsOpenedAs ? device.OpenedAs : found->second};
  }

  // The physical device of an id (the mapper: the first), or -1.
  int Physical(UINT_PTR DeviceId) const {  // caller holds mutex_
    if (side_.HasMapper &&
        (DeviceId == static_cast<UINT_PTR>(MIDI_MAPPER) || DeviceId == static_cast<UINT_PTR>(-1))) {
      return order_.empty() ? -1 : order_[0];
    }
    return DeviceId < order_.size() ? order_[DeviceId] : -1;
  }

  TDevice& At(int Device, const char* What) {  // caller holds mutex_
    if (Device < 0 || static_cast<std::size_t>(Device) >= order_.size()) {
      throw std::out_of_range(std::string("sim: ") + What + ": no " + side_.Name + " device " +
                              std::to_string(Device));
    }
    return devices_[static_cast<std::size_t>(order_[static_cast<std::size_t>(Device)])];
  }

  const TDevice* AtOrNull(int Device) const {  // caller holds mutex_
    if (Device < 0 || static_cast<std::size_t>(Device) >= order_.size()) return nullptr;
    return &devices_[static_cast<std::size_t>(order_[static_cast<std::size_t>(Device)])];
  }

  // The skeleton of every call on a handle: failure injection, handle and
  // presence checks, then the work; recorded with its result.
  template <typename Work>
  MMRESULT OnHandle(Call What, THandle Handle, std::uintptr_t Arg, Work Task) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Target target = Find(Handle);
    MMRESULT result;
    if (const auto failure = calls_.TakeFailure(What, target.Index)) {
      result = *failure;
    } else if (target.Dev == nullptr) {
      result = MMSYSERR_INVALHANDLE;
    } else if (!target.Dev->Present || target.Dev->Dead) {
      result = MMSYSERR_NODRIVER;
    } else {
      result = Task(*target.Dev);
    }
    Record(What, target.Recorded, Key(Handle), Arg, result);
    return result;
  }

  // Gives a header back to the program: done, with the notice of its side.
  void GiveBack(TDevice& Device, MIDIHDR* Header, UINT Notice) {  // caller holds mutex_
    Header->dwFlags = (Header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    notices_.Post(Device.Target, Notice, Device.Handle,
                  static_cast<LPARAM>(reinterpret_cast<std::intptr_t>(Header)));
  }

  // The first checks of a header handed to the driver to hold (an input's
  // buffer, an output's long message); 0 when it may be taken.
  static MMRESULT CheckHeaderToHold(const TDevice& Device, const MIDIHDR* Header, UINT HeaderSize) {
    if (Header == nullptr || !HeaderSizeValid(HeaderSize)) return MMSYSERR_INVALPARAM;
    if ((Header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    if (Device.Holds(Header) || (Header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
    return MMSYSERR_NOERROR;
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
