#include "platform/sim/SimMidiIn.h"

namespace sim {

namespace {
constexpr DriverSide InputSide{
    .Name = "input", .Title = "Input", .GetNumDevs = Call::MidiInGetNumDevs,
    .GetDevCaps = Call::MidiInGetDevCaps, .Open = Call::MidiInOpen, .PrepareHeader = Call::MidiInPrepareHeader,
    .UnprepareHeader = Call::MidiInUnprepareHeader, .Close = Call::MidiInClose, .OpenNotice = MM_MIM_OPEN,
    .CloseNotice = MM_MIM_CLOSE, .EmptyHeaders = false, .HasMapper = false, .RecordsOpenedAs = false};
}  // namespace

MidiInDriver::MidiInDriver(CallLog& Calls, NoticeQueue& Notices, const Clock& MachineClock)
    : DeviceDriver(Calls, Notices, MachineClock, InputSide) {}

MMRESULT MidiInDriver::AddBuffer(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize) {
  return OnHandle(Call::MidiInAddBuffer, Handle, Key(Header), [&](InputDevice& device) -> MMRESULT {
    if (const MMRESULT refused = CheckHeaderToHold(device, Header, HeaderSize)) return refused;
    if (Header->lpData == nullptr || Header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
    Header->dwFlags = (Header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    Header->dwBytesRecorded = 0;
    device.Held.push_back(Header);
    return MMSYSERR_NOERROR;
  });
}

void MidiInDriver::ReturnFirstBuffer(InputDevice& Device, UINT Notice) {
  MIDIHDR* header = Device.Held.front();
  Device.Held.pop_front();
  GiveBack(Device, header, Notice);
}

MMRESULT MidiInDriver::Start(HMIDIIN Handle) {
  return OnHandle(Call::MidiInStart, Handle, 0, [](InputDevice& device) -> MMRESULT {
    device.Started = true;
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::Stop(HMIDIIN Handle) {
  return OnHandle(Call::MidiInStop, Handle, 0, [this](InputDevice& device) -> MMRESULT {
    device.Started = false;
    // A buffer that has received part of a message is returned as it is;
    // empty buffers stay queued.
    if (!device.Held.empty() && device.Held.front()->dwBytesRecorded > 0) ReturnFirstBuffer(device);
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::Reset(HMIDIIN Handle) {
  return OnHandle(Call::MidiInReset, Handle, 0, [this](InputDevice& device) -> MMRESULT {
    device.Started = false;
    while (!device.Held.empty()) ReturnFirstBuffer(device);
    return MMSYSERR_NOERROR;
  });
}

bool MidiInDriver::IsStarted(int Device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const InputDevice* found = AtOrNull(Device);
  return found != nullptr && found->Handle != 0 && found->Started;
}

std::size_t MidiInDriver::QueuedBuffers(int Device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const InputDevice* found = AtOrNull(Device);
  return found == nullptr ? 0 : found->Held.size();
}

void MidiInDriver::InjectShort(int Device, DWORD Message) {
  std::lock_guard<std::mutex> lock(mutex_);
  InputDevice& input = At(Device, "InjectShort");
  if (input.Handle == 0 || !input.Started || !input.Present) return;
  notices_.Post(input.Target, MM_MIM_DATA, input.Handle, static_cast<LPARAM>(Message));
}

std::size_t MidiInDriver::InjectSysEx(int Device, const std::uint8_t* Bytes, std::size_t Length) {
  std::lock_guard<std::mutex> lock(mutex_);
  InputDevice& input = At(Device, "InjectSysEx");
  if (input.Handle == 0 || !input.Started || !input.Present) return 0;
  std::size_t stored = 0;
  for (std::size_t i = 0; i < Length; ++i) {
    if (input.Held.empty()) continue;  // no buffer: the byte is lost
    MIDIHDR* header = input.Held.front();
    header->lpData[header->dwBytesRecorded++] = static_cast<char>(Bytes[i]);
    ++stored;
    if (header->dwBytesRecorded == header->dwBufferLength || Bytes[i] == 0xF7) ReturnFirstBuffer(input);
  }
  return stored;
}

bool MidiInDriver::BreakSysEx(int Device) {
  std::lock_guard<std::mutex> lock(mutex_);
  InputDevice& input = At(Device, "BreakSysEx");
  if (input.Handle == 0 || !input.Started || input.Held.empty()) return false;
  ReturnFirstBuffer(input, MM_MIM_LONGERROR);
  return true;
}

void MidiInDriver::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  ResetDriver();
}

}  // namespace sim
