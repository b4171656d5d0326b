#include "platform/sim/SimMidiIn.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/sim/SimDevices.h"
#include "platform/sim/SimHandles.h"

namespace sim {

namespace {
constexpr DWORD CallbackTypeMask = 0x00070000;

std::uintptr_t Key(HMIDIIN handle) { return reinterpret_cast<std::uintptr_t>(handle); }
std::uintptr_t Key(const MIDIHDR* header) { return reinterpret_cast<std::uintptr_t>(header); }
}  // namespace

void MidiInDriver::Record(Call what, int device, std::uintptr_t handle, std::uintptr_t arg,
                          MMRESULT result) {
  CallRecord record{};
  record.What = what;
  record.Device = device;
  record.Handle = handle;
  record.Arg = arg;
  record.Result = result;
  record.Time = clock_.Now();
  calls_.Record(std::move(record));
}

MidiInDriver::Target MidiInDriver::Find(HMIDIIN handle) {
  const auto found = openHandles_.find(Key(handle));
  if (found == openHandles_.end()) return {};
  return {.Dev = &devices_[static_cast<std::size_t>(found->second)], .Index = found->second};
}

int MidiInDriver::Physical(UINT_PTR deviceId) const {
  return deviceId < order_.size() ? order_[deviceId] : -1;
}

MidiInDriver::Device& MidiInDriver::At(int device, const char* what) {
  if (device < 0 || static_cast<std::size_t>(device) >= order_.size()) {
    throw std::out_of_range(std::string("sim: ") + what + ": no input device " +
                            std::to_string(device));
  }
  return devices_[static_cast<std::size_t>(order_[static_cast<std::size_t>(device)])];
}

const MidiInDriver::Device* MidiInDriver::AtOrNull(int device) const {
  if (device < 0 || static_cast<std::size_t>(device) >= order_.size()) return nullptr;
  return &devices_[static_cast<std::size_t>(order_[static_cast<std::size_t>(device)])];
}

template <typename Work>
MMRESULT MidiInDriver::OnHandle(Call what, HMIDIIN handle, std::uintptr_t arg, Work work) {
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
  Record(what, target.Index, Key(handle), arg, result);
  return result;
}

UINT MidiInDriver::GetNumDevs() {
  std::lock_guard<std::mutex> lock(mutex_);
  UINT count = static_cast<UINT>(order_.size());
  MMRESULT result = MMSYSERR_NOERROR;
  if (const auto failure = calls_.TakeFailure(Call::MidiInGetNumDevs, -1)) {
    result = *failure;
    count = 0;  // a failing count call reports no devices
  }
  Record(Call::MidiInGetNumDevs, -1, 0, count, result);
  return count;
}

MMRESULT MidiInDriver::GetDevCaps(UINT_PTR deviceId, MIDIINCAPSA* caps, UINT capsSize) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int index = Physical(deviceId);
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::MidiInGetDevCaps, index)) {
    result = *failure;
  } else if (index < 0) {
    result = MMSYSERR_BADDEVICEID;
  } else {
    const Device& device = devices_[static_cast<std::size_t>(index)];
    if (!device.Present) {
      result = MMSYSERR_NODRIVER;
    } else if (device.Config.CapsFail) {
      result = MMSYSERR_ERROR;
    } else {
      MIDIINCAPSA full{};
      full.wMid = 0x00FF;
      full.wPid = static_cast<WORD>(deviceId);
      full.vDriverVersion = device.Config.DriverVersion;
      CopyProductName(device.Config, full.szPname);
      full.dwSupport = 0;
      result = AnswerCaps(full, caps, capsSize);
    }
  }
  Record(Call::MidiInGetDevCaps, static_cast<int>(deviceId), 0, capsSize, result);
  return result;
}

MMRESULT MidiInDriver::Open(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int index = Physical(deviceId);
  const DWORD callbackType = flags & CallbackTypeMask;
  std::uintptr_t opened = 0;
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::MidiInOpen, index)) {
    result = *failure;
  } else if (handle == nullptr) {
    result = MMSYSERR_INVALPARAM;
  } else if (index < 0) {
    result = MMSYSERR_BADDEVICEID;  // there is no input mapper
  } else if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_WINDOW) {
    result = MMSYSERR_INVALFLAG;  // the simulated driver notifies windows only
  } else {
    Device& device = devices_[static_cast<std::size_t>(index)];
    if (!device.Present) {
      result = MMSYSERR_NODRIVER;
    } else if (device.Config.RefuseOpen || device.Handle != 0) {
      result = MMSYSERR_ALLOCATED;  // one client at a time, as most MIDI drivers
    } else {
      opened = NewDeviceHandle();
      device.Handle = opened;
      device.Target = callbackType == CALLBACK_WINDOW ? callback : 0;
      if (device.Target != 0) device.LastTarget = device.Target;
      device.Started = false;
      device.Queue.clear();
      openHandles_.emplace(opened, index);
      if (openCloseNotices_) notices_.Post(device.Target, MM_MIM_OPEN, opened, 0);
      result = MMSYSERR_NOERROR;
    }
  }
  if (handle != nullptr) *handle = reinterpret_cast<HMIDIIN>(opened);
  Record(Call::MidiInOpen, static_cast<int>(deviceId), opened, callback, result);
  return result;
}

MMRESULT MidiInDriver::PrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return OnHandle(Call::MidiInPrepareHeader, handle, Key(header), [&](Device&) -> MMRESULT {
    if (header == nullptr || !HeaderSizeValid(headerSize) || header->lpData == nullptr ||
        header->dwBufferLength == 0) {
      return MMSYSERR_INVALPARAM;
    }
    header->dwFlags |= MHDR_PREPARED;  // preparing a prepared header changes nothing
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::UnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return OnHandle(Call::MidiInUnprepareHeader, handle, Key(header), [&](Device& device) -> MMRESULT {
    if (header == nullptr || !HeaderSizeValid(headerSize)) return MMSYSERR_INVALPARAM;
    const bool queued = std::find(device.Queue.begin(), device.Queue.end(), header) !=
                        device.Queue.end();
    if (queued || (header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::AddBuffer(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return OnHandle(Call::MidiInAddBuffer, handle, Key(header), [&](Device& device) -> MMRESULT {
    if (header == nullptr || !HeaderSizeValid(headerSize)) return MMSYSERR_INVALPARAM;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    const bool queued = std::find(device.Queue.begin(), device.Queue.end(), header) !=
                        device.Queue.end();
    if (queued || (header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
    if (header->lpData == nullptr || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    device.Queue.push_back(header);
    return MMSYSERR_NOERROR;
  });
}

void MidiInDriver::ReturnBuffer(Device& device, MIDIHDR* header, UINT notice) {
  header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  notices_.Post(device.Target, notice, device.Handle,
                static_cast<LPARAM>(reinterpret_cast<std::intptr_t>(header)));
}

MMRESULT MidiInDriver::Start(HMIDIIN handle) {
  return OnHandle(Call::MidiInStart, handle, 0, [](Device& device) -> MMRESULT {
    device.Started = true;
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::Stop(HMIDIIN handle) {
  return OnHandle(Call::MidiInStop, handle, 0, [this](Device& device) -> MMRESULT {
    device.Started = false;
    // A buffer that has received part of a message is returned as it is;
    // empty buffers stay queued.
    if (!device.Queue.empty() && device.Queue.front()->dwBytesRecorded > 0) {
      MIDIHDR* partial = device.Queue.front();
      device.Queue.pop_front();
      ReturnBuffer(device, partial);
    }
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::Reset(HMIDIIN handle) {
  return OnHandle(Call::MidiInReset, handle, 0, [this](Device& device) -> MMRESULT {
    device.Started = false;
    while (!device.Queue.empty()) {
      MIDIHDR* header = device.Queue.front();
      device.Queue.pop_front();
      ReturnBuffer(device, header);
    }
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::Close(HMIDIIN handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Target target = Find(handle);
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::MidiInClose, target.Index)) {
    result = *failure;
  } else if (target.Dev == nullptr) {
    result = MMSYSERR_INVALHANDLE;
  } else if (target.Dev->Present && !target.Dev->Dead && !target.Dev->Queue.empty()) {
    result = MIDIERR_STILLPLAYING;
  } else {
    // A device that has gone answers that it is gone, but the handle is
    // released all the same (its buffers are lost with the device), so the
    // device can be opened again when it comes back.
    Device& device = *target.Dev;
    const bool answers = device.Present && !device.Dead;
    result = answers ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
    device.Dead = false;
    if (answers && openCloseNotices_) {
      notices_.Post(device.Target, MM_MIM_CLOSE, device.Handle, 0);
    }
    for (MIDIHDR* header : device.Queue) header->dwFlags &= ~MHDR_INQUEUE;
    device.Queue.clear();
    openHandles_.erase(device.Handle);
    device.Handle = 0;
    device.Target = 0;
    device.Started = false;
  }
  Record(Call::MidiInClose, target.Index, Key(handle), 0, result);
  return result;
}

void MidiInDriver::SetDevices(std::vector<DeviceConfig> devices) {
  CheckDeviceConfigs(devices);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!openHandles_.empty()) {
    throw std::logic_error("sim: SetInputDevices while an input device is open");
  }
  devices_.clear();
  order_.clear();
  for (DeviceConfig& config : devices) {
    Device device;
    device.Config = std::move(config);
    order_.push_back(static_cast<int>(devices_.size()));
    devices_.push_back(std::move(device));
  }
}

void MidiInDriver::SetPresent(int device, bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  SetDevicePresent(At(device, "SetInputPresent"), present);
}

void MidiInDriver::ChangeDevices(std::vector<DeviceConfig> devices) {
  std::lock_guard<std::mutex> lock(mutex_);
  order_ = ChangeDeviceList(devices_, std::move(devices));
}

bool MidiInDriver::IsOpen(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device* found = AtOrNull(device);
  return found != nullptr && found->Handle != 0;
}

bool MidiInDriver::IsStarted(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device* found = AtOrNull(device);
  return found != nullptr && found->Handle != 0 && found->Started;
}

std::size_t MidiInDriver::QueuedBuffers(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device* found = AtOrNull(device);
  return found == nullptr ? 0 : found->Queue.size();
}

std::uintptr_t MidiInDriver::Handle(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device* found = AtOrNull(device);
  return found == nullptr ? 0 : found->Handle;
}

void MidiInDriver::InjectShort(int device, DWORD message) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device& input = At(device, "InjectShort");
  if (input.Handle == 0 || !input.Started || !input.Present) return;
  notices_.Post(input.Target, MM_MIM_DATA, input.Handle, static_cast<LPARAM>(message));
}

std::size_t MidiInDriver::InjectSysEx(int device, const std::uint8_t* bytes, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device& input = At(device, "InjectSysEx");
  if (input.Handle == 0 || !input.Started || !input.Present) return 0;
  std::size_t stored = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (input.Queue.empty()) continue;  // no buffer: the byte is lost
    MIDIHDR* header = input.Queue.front();
    header->lpData[header->dwBytesRecorded++] = static_cast<char>(bytes[i]);
    ++stored;
    if (header->dwBytesRecorded == header->dwBufferLength || bytes[i] == 0xF7) {
      input.Queue.pop_front();
      ReturnBuffer(input, header);
    }
  }
  return stored;
}

bool MidiInDriver::BreakSysEx(int device) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device& input = At(device, "BreakSysEx");
  if (input.Handle == 0 || !input.Started || input.Queue.empty()) return false;
  MIDIHDR* header = input.Queue.front();
  input.Queue.pop_front();
  ReturnBuffer(input, header, MM_MIM_LONGERROR);
  return true;
}

void MidiInDriver::PostNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device& input = At(device, "PostInputNotice");
  notices_.Post(input.Handle != 0 && input.Target != 0 ? input.Target : input.LastTarget, msg,
                wParam, lParam);
}

void MidiInDriver::SetOpenCloseNotices(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  openCloseNotices_ = on;
}

void MidiInDriver::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.clear();
  order_.clear();
  openHandles_.clear();
  openCloseNotices_ = true;
}

}  // namespace sim
