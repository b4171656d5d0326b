#include "platform/sim/SimMidiOut.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>

namespace sim {

namespace {
constexpr DriverSide OutputSide{
    .Name = "output", .Title = "Output", .GetNumDevs = Call::MidiOutGetNumDevs,
    .GetDevCaps = Call::MidiOutGetDevCaps, .Open = Call::MidiOutOpen, .PrepareHeader = Call::MidiOutPrepareHeader,
    .UnprepareHeader = Call::MidiOutUnprepareHeader, .Close = Call::MidiOutClose, .OpenNotice = MM_MOM_OPEN,
    .CloseNotice = MM_MOM_CLOSE, .EmptyHeaders = true, .HasMapper = true, .RecordsOpenedAs = true};
}  // namespace

MidiOutDriver::MidiOutDriver(CallLog& Calls, NoticeQueue& Notices, const Clock& MachineClock)
    : DeviceDriver(Calls, Notices, MachineClock, OutputSide) {}

MMRESULT MidiOutDriver::Open(HMIDIOUT* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD Flags) {
  // A slow driver takes its time without the lock: calls on the other
  // devices go on meanwhile.
  double openMilliseconds = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int index = Physical(DeviceId);
    if (index >= 0) openMilliseconds = devices_[static_cast<std::size_t>(index)].Config.OpenMilliseconds;
  }
  if (openMilliseconds > 0)
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(openMilliseconds));
  return DeviceDriver::Open(Handle, DeviceId, Callback, Flags);
}

MMRESULT MidiOutDriver::ShortMsg(HMIDIOUT Handle, DWORD Message) {
  return OnHandle(Call::MidiOutShortMsg, Handle, Message, [&](OutputDevice& device) -> MMRESULT {
    Received received;
    received.Short = Message;
    received.Time = clock_.Now();
    device.Log.push_back(std::move(received));
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiOutDriver::LongMsg(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize) {
  return OnHandle(Call::MidiOutLongMsg, Handle, Key(Header), [&](OutputDevice& device) -> MMRESULT {
    if (const MMRESULT refused = CheckHeaderToHold(device, Header, HeaderSize)) return refused;
    if (Header->lpData == nullptr) return MMSYSERR_INVALPARAM;
    Received received;
    received.Long = true;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(Header->lpData);
    received.Bytes.assign(bytes, bytes + Header->dwBufferLength);
    received.Time = clock_.Now();
    device.Log.push_back(std::move(received));
    Header->dwFlags = (Header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    if (autoComplete_) {
      Complete(device, Header);
    } else {
      device.Held.push_back(Header);
    }
    return MMSYSERR_NOERROR;
  });
}

void MidiOutDriver::CompleteAll(OutputDevice& Device) {
  while (!Device.Held.empty()) {
    MIDIHDR* header = Device.Held.front();
    Device.Held.pop_front();
    Complete(Device, header);
  }
}

MMRESULT MidiOutDriver::Reset(HMIDIOUT Handle) {
  // The notes the device turns off are not recorded as received messages: a
  // test sees the reset as the MidiOutReset call itself.
  return OnHandle(Call::MidiOutReset, Handle, 0, [this](OutputDevice& device) -> MMRESULT {
    CompleteAll(device);
    return MMSYSERR_NOERROR;
  });
}

std::vector<Received> MidiOutDriver::ReceivedByDevice(const std::string& Name, int Unit) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const OutputDevice& device : devices_)
    if (device.Config.Name == Name && device.Config.Unit == Unit) return device.Log;
  return {};
}

std::vector<Received> MidiOutDriver::ReceivedBy(int Device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const OutputDevice* found = AtOrNull(Device);
  return found == nullptr ? std::vector<Received>{} : found->Log;
}

void MidiOutDriver::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (OutputDevice& device : devices_) device.Log.clear();
}

std::vector<MIDIHDR*> MidiOutDriver::PendingHeaders(int Device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const OutputDevice* found = AtOrNull(Device);
  if (found == nullptr) return {};
  return {found->Held.begin(), found->Held.end()};
}

void MidiOutDriver::CompleteHeader(int Device, MIDIHDR* Header) {
  std::lock_guard<std::mutex> lock(mutex_);
  OutputDevice& output = At(Device, "CompleteHeader");
  const auto held = std::find(output.Held.begin(), output.Held.end(), Header);
  if (held == output.Held.end()) {
    throw std::invalid_argument("sim: CompleteHeader: output device " + std::to_string(Device) +
                                " holds no such header");
  }
  output.Held.erase(held);
  Complete(output, Header);
}

void MidiOutDriver::CompleteAllHeaders(int Device) {
  std::lock_guard<std::mutex> lock(mutex_);
  CompleteAll(At(Device, "CompleteAllHeaders"));
}

void MidiOutDriver::SetAutoComplete(bool On) {
  std::lock_guard<std::mutex> lock(mutex_);
  autoComplete_ = On;
}

void MidiOutDriver::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  ResetDriver();
  autoComplete_ = true;
}

}  // namespace sim
