#include "platform/sim/SimMidiOut.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "platform/sim/SimDevices.h"
#include "platform/sim/SimHandles.h"

namespace sim {

namespace {
constexpr DWORD CallbackTypeMask = 0x00070000;
constexpr WORD MidiPortTechnology = 1;  // MOD_MIDIPORT

std::uintptr_t Key(HMIDIOUT handle) { return reinterpret_cast<std::uintptr_t>(handle); }
std::uintptr_t Key(const MIDIHDR* header) { return reinterpret_cast<std::uintptr_t>(header); }
LPARAM HeaderParam(MIDIHDR* header) {
  return static_cast<LPARAM>(reinterpret_cast<std::intptr_t>(header));
}

}  // namespace

void MidiOutDriver::Record(Call what, int device, std::uintptr_t handle, std::uintptr_t arg,
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

MidiOutDriver::Target MidiOutDriver::Find(HMIDIOUT handle) {
  const auto found = openHandles_.find(Key(handle));
  if (found == openHandles_.end()) return {};
  Device& device = devices_[static_cast<std::size_t>(found->second)];
  return {.Dev = &device, .Index = found->second, .Recorded = device.OpenedAs};
}

int MidiOutDriver::Physical(UINT_PTR deviceId) const {
  // The mapper stands for the first device; a record names it -1.
  if (deviceId == static_cast<UINT_PTR>(MIDI_MAPPER) || deviceId == static_cast<UINT_PTR>(-1)) {
    return order_.empty() ? -1 : order_[0];
  }
  return deviceId < order_.size() ? order_[deviceId] : -1;
}

MidiOutDriver::Device& MidiOutDriver::At(int device, const char* what) {
  if (device < 0 || static_cast<std::size_t>(device) >= order_.size()) {
    throw std::out_of_range(std::string("sim: ") + what + ": no output device " +
                            std::to_string(device));
  }
  return devices_[static_cast<std::size_t>(order_[static_cast<std::size_t>(device)])];
}

const MidiOutDriver::Device* MidiOutDriver::AtOrNull(int device) const {
  if (device < 0 || static_cast<std::size_t>(device) >= order_.size()) return nullptr;
  return &devices_[static_cast<std::size_t>(order_[static_cast<std::size_t>(device)])];
}

template <typename Work>
MMRESULT MidiOutDriver::OnHandle(Call what, HMIDIOUT handle, std::uintptr_t arg, Work work) {
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

UINT MidiOutDriver::GetNumDevs() {
  std::lock_guard<std::mutex> lock(mutex_);
  UINT count = static_cast<UINT>(order_.size());
  MMRESULT result = MMSYSERR_NOERROR;
  if (const auto failure = calls_.TakeFailure(Call::MidiOutGetNumDevs, -1)) {
    result = *failure;
    count = 0;  // a failing count call reports no devices
  }
  Record(Call::MidiOutGetNumDevs, -1, 0, count, result);
  return count;
}

MMRESULT MidiOutDriver::GetDevCaps(UINT_PTR deviceId, MIDIOUTCAPSA* caps, UINT capsSize) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int index = Physical(deviceId);
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::MidiOutGetDevCaps, index)) {
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
      MIDIOUTCAPSA full{};
      full.wMid = 0x00FF;
      full.wPid = static_cast<WORD>(deviceId);
      full.vDriverVersion = device.Config.DriverVersion;
      CopyProductName(device.Config, full.szPname);
      full.wTechnology = MidiPortTechnology;
      full.wVoices = 0;
      full.wNotes = 0;
      full.wChannelMask = 0xFFFF;
      full.dwSupport = 0;
      result = AnswerCaps(full, caps, capsSize);
    }
  }
  Record(Call::MidiOutGetDevCaps, static_cast<int>(deviceId), 0, capsSize, result);
  return result;
}

MMRESULT MidiOutDriver::Open(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD flags) {
  // A slow driver takes its time without the lock: calls on the other
  // devices go on meanwhile.
  double openMilliseconds = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int index = Physical(deviceId);
    if (index >= 0) openMilliseconds = devices_[static_cast<std::size_t>(index)].Config.OpenMilliseconds;
  }
  if (openMilliseconds > 0)
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(openMilliseconds));
  std::lock_guard<std::mutex> lock(mutex_);
  const int index = Physical(deviceId);
  const int recorded = static_cast<int>(deviceId);
  const DWORD callbackType = flags & CallbackTypeMask;
  std::uintptr_t opened = 0;
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::MidiOutOpen, index)) {
    result = *failure;
  } else if (handle == nullptr) {
    result = MMSYSERR_INVALPARAM;
  } else if (index < 0) {
    result = MMSYSERR_BADDEVICEID;
  } else if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_WINDOW) {
    result = MMSYSERR_INVALFLAG;  // the simulated driver notifies windows only
  } else {
    Device& device = devices_[static_cast<std::size_t>(index)];
    if (!device.Present) {
      result = MMSYSERR_NODRIVER;
    } else if (device.Config.RefuseOpen || device.Handle != 0) {
      result = MMSYSERR_ALLOCATED;  // one client at a time, the mapper included
    } else {
      opened = NewDeviceHandle();
      device.Handle = opened;
      device.OpenedAs = recorded;
      device.Target = callbackType == CALLBACK_WINDOW ? callback : 0;
      if (device.Target != 0) device.LastTarget = device.Target;
      device.Held.clear();
      openHandles_.emplace(opened, index);
      if (openCloseNotices_) notices_.Post(device.Target, MM_MOM_OPEN, opened, 0);
      result = MMSYSERR_NOERROR;
    }
  }
  if (handle != nullptr) *handle = reinterpret_cast<HMIDIOUT>(opened);
  Record(Call::MidiOutOpen, recorded, opened, callback, result);
  return result;
}

MMRESULT MidiOutDriver::ShortMsg(HMIDIOUT handle, DWORD message) {
  return OnHandle(Call::MidiOutShortMsg, handle, message, [&](Device& device) -> MMRESULT {
    Received received;
    received.Short = message;
    received.Time = clock_.Now();
    device.Log.push_back(std::move(received));
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiOutDriver::PrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return OnHandle(Call::MidiOutPrepareHeader, handle, Key(header), [&](Device&) -> MMRESULT {
    if (header == nullptr || !HeaderSizeValid(headerSize) || header->lpData == nullptr) {
      return MMSYSERR_INVALPARAM;
    }
    header->dwFlags |= MHDR_PREPARED;  // preparing a prepared header changes nothing
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiOutDriver::UnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return OnHandle(Call::MidiOutUnprepareHeader, handle, Key(header),
                  [&](Device& device) -> MMRESULT {
                    if (header == nullptr || !HeaderSizeValid(headerSize)) {
                      return MMSYSERR_INVALPARAM;
                    }
                    const bool held = std::find(device.Held.begin(), device.Held.end(),
                                                header) != device.Held.end();
                    if (held || (header->dwFlags & MHDR_INQUEUE) != 0) {
                      return MIDIERR_STILLPLAYING;
                    }
                    header->dwFlags &= ~MHDR_PREPARED;
                    return MMSYSERR_NOERROR;
                  });
}

void MidiOutDriver::Complete(Device& device, MIDIHDR* header) {
  header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  notices_.Post(device.Target, MM_MOM_DONE, device.Handle, HeaderParam(header));
}

MMRESULT MidiOutDriver::LongMsg(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return OnHandle(Call::MidiOutLongMsg, handle, Key(header), [&](Device& device) -> MMRESULT {
    if (header == nullptr || !HeaderSizeValid(headerSize)) return MMSYSERR_INVALPARAM;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    const bool held = std::find(device.Held.begin(), device.Held.end(), header) !=
                      device.Held.end();
    if (held || (header->dwFlags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
    if (header->lpData == nullptr) return MMSYSERR_INVALPARAM;
    Received received;
    received.Long = true;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(header->lpData);
    received.Bytes.assign(bytes, bytes + header->dwBufferLength);
    received.Time = clock_.Now();
    device.Log.push_back(std::move(received));
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    if (autoComplete_) {
      Complete(device, header);
    } else {
      device.Held.push_back(header);
    }
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiOutDriver::Reset(HMIDIOUT handle) {
  // The notes the device turns off are not recorded as received messages: a
  // test sees the reset as the MidiOutReset call itself.
  return OnHandle(Call::MidiOutReset, handle, 0, [this](Device& device) -> MMRESULT {
    while (!device.Held.empty()) {
      MIDIHDR* header = device.Held.front();
      device.Held.pop_front();
      Complete(device, header);
    }
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiOutDriver::Close(HMIDIOUT handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Target target = Find(handle);
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::MidiOutClose, target.Index)) {
    result = *failure;
  } else if (target.Dev == nullptr) {
    result = MMSYSERR_INVALHANDLE;
  } else if (target.Dev->Present && !target.Dev->Dead && !target.Dev->Held.empty()) {
    result = MIDIERR_STILLPLAYING;
  } else {
    // A device that has gone answers that it is gone, but the handle is
    // released all the same (the headers it held are lost with it), so the
    // device can be opened again when it comes back.
    Device& device = *target.Dev;
    const bool answers = device.Present && !device.Dead;
    result = answers ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
    device.Dead = false;
    if (answers && openCloseNotices_) {
      notices_.Post(device.Target, MM_MOM_CLOSE, device.Handle, 0);
    }
    for (MIDIHDR* header : device.Held) header->dwFlags &= ~MHDR_INQUEUE;
    device.Held.clear();
    openHandles_.erase(device.Handle);
    device.Handle = 0;
    device.Target = 0;
  }
  Record(Call::MidiOutClose, target.Recorded, Key(handle), 0, result);
  return result;
}

void MidiOutDriver::SetDevices(std::vector<DeviceConfig> devices) {
  CheckDeviceConfigs(devices);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!openHandles_.empty()) {
    throw std::logic_error("sim: SetOutputDevices while an output device is open");
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

void MidiOutDriver::SetPresent(int device, bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  SetDevicePresent(At(device, "SetOutputPresent"), present);
}

void MidiOutDriver::ChangeDevices(std::vector<DeviceConfig> devices) {
  std::lock_guard<std::mutex> lock(mutex_);
  order_ = ChangeDeviceList(devices_, std::move(devices));
}

bool MidiOutDriver::IsOpen(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device* found = AtOrNull(device);
  return found != nullptr && found->Handle != 0;
}

std::uintptr_t MidiOutDriver::Handle(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device* found = AtOrNull(device);
  return found == nullptr ? 0 : found->Handle;
}

std::vector<Received> MidiOutDriver::ReceivedByDevice(const std::string& name, int unit) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Device& device : devices_)
    if (device.Config.Name == name && device.Config.Unit == unit) return device.Log;
  return {};
}

std::vector<Received> MidiOutDriver::ReceivedBy(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device* found = AtOrNull(device);
  return found == nullptr ? std::vector<Received>{} : found->Log;
}

void MidiOutDriver::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Device& device : devices_) device.Log.clear();
}

std::vector<MIDIHDR*> MidiOutDriver::PendingHeaders(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device* found = AtOrNull(device);
  if (found == nullptr) return {};
  return {found->Held.begin(), found->Held.end()};
}

void MidiOutDriver::CompleteHeader(int device, MIDIHDR* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device& output = At(device, "CompleteHeader");
  const auto held = std::find(output.Held.begin(), output.Held.end(), header);
  if (held == output.Held.end()) {
    throw std::invalid_argument("sim: CompleteHeader: output device " + std::to_string(device) +
                                " holds no such header");
  }
  output.Held.erase(held);
  Complete(output, header);
}

void MidiOutDriver::CompleteAllHeaders(int device) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device& output = At(device, "CompleteAllHeaders");
  while (!output.Held.empty()) {
    MIDIHDR* header = output.Held.front();
    output.Held.pop_front();
    Complete(output, header);
  }
}

void MidiOutDriver::SetAutoComplete(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  autoComplete_ = on;
}

void MidiOutDriver::PostNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Device& output = At(device, "PostOutputNotice");
  notices_.Post(output.Handle != 0 && output.Target != 0 ? output.Target : output.LastTarget, msg,
                wParam, lParam);
}

void MidiOutDriver::SetOpenCloseNotices(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  openCloseNotices_ = on;
}

void MidiOutDriver::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.clear();
  order_.clear();
  openHandles_.clear();
  autoComplete_ = true;
  openCloseNotices_ = true;
}

}  // namespace sim
