#include "platform/sim/SimMidiOut.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>

namespace sim {

namespace {
constexpr DriverSide OutputSide{.Name = "output",
                                .Title = "Output",
                                .GetNumDevs = Call::MidiOutGetNumDevs,
                                .GetDevCaps = Call::MidiOutGetDevCaps,
                                .Open = Call::MidiOutOpen,
                                .Close = Call::MidiOutClose,
                                .OpenNotice = MM_MOM_OPEN,
                                .CloseNotice = MM_MOM_CLOSE,
                                .HasMapper = true,
                                .RecordsOpenedAs = true};
}  // namespace

MidiOutDriver::MidiOutDriver(CallLog& calls, NoticeQueue& notices, const Clock& clock)
    : DeviceDriver(calls, notices, clock, OutputSide) {}

MMRESULT MidiOutDriver::GetDevCaps(UINT_PTR deviceId, MIDIOUTCAPSA* caps, UINT capsSize) {
  return AnswerDevCaps(deviceId, caps, capsSize);
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
  return OpenDevice(handle, deviceId, callback, flags);
}

MMRESULT MidiOutDriver::ShortMsg(HMIDIOUT handle, DWORD message) {
  return OnHandle(Call::MidiOutShortMsg, handle, message, [&](OutputDevice& device) -> MMRESULT {
    Received received;
    received.Short = message;
    received.Time = clock_.Now();
    device.Log.push_back(std::move(received));
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiOutDriver::PrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return Prepare(Call::MidiOutPrepareHeader, handle, header, headerSize, /*EmptyAllowed=*/true);
}

MMRESULT MidiOutDriver::UnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return Unprepare(Call::MidiOutUnprepareHeader, handle, header, headerSize);
}

MMRESULT MidiOutDriver::LongMsg(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return OnHandle(Call::MidiOutLongMsg, handle, Key(header), [&](OutputDevice& device) -> MMRESULT {
    if (const MMRESULT refused = CheckHeaderToHold(device, header, headerSize)) return refused;
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

void MidiOutDriver::CompleteAll(OutputDevice& device) {
  while (!device.Held.empty()) {
    MIDIHDR* header = device.Held.front();
    device.Held.pop_front();
    Complete(device, header);
  }
}

MMRESULT MidiOutDriver::Reset(HMIDIOUT handle) {
  // The notes the device turns off are not recorded as received messages: a
  // test sees the reset as the MidiOutReset call itself.
  return OnHandle(Call::MidiOutReset, handle, 0, [this](OutputDevice& device) -> MMRESULT {
    CompleteAll(device);
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiOutDriver::Close(HMIDIOUT handle) { return CloseDevice(handle); }

std::vector<Received> MidiOutDriver::ReceivedByDevice(const std::string& name, int unit) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const OutputDevice& device : devices_)
    if (device.Config.Name == name && device.Config.Unit == unit) return device.Log;
  return {};
}

std::vector<Received> MidiOutDriver::ReceivedBy(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const OutputDevice* found = AtOrNull(device);
  return found == nullptr ? std::vector<Received>{} : found->Log;
}

void MidiOutDriver::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (OutputDevice& device : devices_) device.Log.clear();
}

std::vector<MIDIHDR*> MidiOutDriver::PendingHeaders(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const OutputDevice* found = AtOrNull(device);
  if (found == nullptr) return {};
  return {found->Held.begin(), found->Held.end()};
}

void MidiOutDriver::CompleteHeader(int device, MIDIHDR* header) {
  std::lock_guard<std::mutex> lock(mutex_);
  OutputDevice& output = At(device, "CompleteHeader");
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
  CompleteAll(At(device, "CompleteAllHeaders"));
}

void MidiOutDriver::SetAutoComplete(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  autoComplete_ = on;
}

void MidiOutDriver::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  ResetDriver();
  autoComplete_ = true;
}

}  // namespace sim
