#include "platform/sim/SimMidiIn.h"

namespace sim {

namespace {
constexpr DriverSide InputSide{.Name = "input",
                               .Title = "Input",
                               .GetNumDevs = Call::MidiInGetNumDevs,
                               .GetDevCaps = Call::MidiInGetDevCaps,
                               .Open = Call::MidiInOpen,
                               .Close = Call::MidiInClose,
                               .OpenNotice = MM_MIM_OPEN,
                               .CloseNotice = MM_MIM_CLOSE,
                               .HasMapper = false,
                               .RecordsOpenedAs = false};
}  // namespace

MidiInDriver::MidiInDriver(CallLog& calls, NoticeQueue& notices, const Clock& clock)
    : DeviceDriver(calls, notices, clock, InputSide) {}

MMRESULT MidiInDriver::GetDevCaps(UINT_PTR deviceId, MIDIINCAPSA* caps, UINT capsSize) {
  return AnswerDevCaps(deviceId, caps, capsSize);
}

MMRESULT MidiInDriver::Open(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD flags) {
  return OpenDevice(handle, deviceId, callback, flags);
}

MMRESULT MidiInDriver::PrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return Prepare(Call::MidiInPrepareHeader, handle, header, headerSize, /*EmptyAllowed=*/false);
}

MMRESULT MidiInDriver::UnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return Unprepare(Call::MidiInUnprepareHeader, handle, header, headerSize);
}

MMRESULT MidiInDriver::AddBuffer(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return OnHandle(Call::MidiInAddBuffer, handle, Key(header), [&](InputDevice& device) -> MMRESULT {
    if (const MMRESULT refused = CheckHeaderToHold(device, header, headerSize)) return refused;
    if (header->lpData == nullptr || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    device.Held.push_back(header);
    return MMSYSERR_NOERROR;
  });
}

void MidiInDriver::ReturnFirstBuffer(InputDevice& device, UINT notice) {
  MIDIHDR* header = device.Held.front();
  device.Held.pop_front();
  GiveBack(device, header, notice);
}

MMRESULT MidiInDriver::Start(HMIDIIN handle) {
  return OnHandle(Call::MidiInStart, handle, 0, [](InputDevice& device) -> MMRESULT {
    device.Started = true;
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::Stop(HMIDIIN handle) {
  return OnHandle(Call::MidiInStop, handle, 0, [this](InputDevice& device) -> MMRESULT {
    device.Started = false;
    // A buffer that has received part of a message is returned as it is;
    // empty buffers stay queued.
    if (!device.Held.empty() && device.Held.front()->dwBytesRecorded > 0) ReturnFirstBuffer(device);
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::Reset(HMIDIIN handle) {
  return OnHandle(Call::MidiInReset, handle, 0, [this](InputDevice& device) -> MMRESULT {
    device.Started = false;
    while (!device.Held.empty()) ReturnFirstBuffer(device);
    return MMSYSERR_NOERROR;
  });
}

MMRESULT MidiInDriver::Close(HMIDIIN handle) { return CloseDevice(handle); }

bool MidiInDriver::IsStarted(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const InputDevice* found = AtOrNull(device);
  return found != nullptr && found->Handle != 0 && found->Started;
}

std::size_t MidiInDriver::QueuedBuffers(int device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const InputDevice* found = AtOrNull(device);
  return found == nullptr ? 0 : found->Held.size();
}

void MidiInDriver::InjectShort(int device, DWORD message) {
  std::lock_guard<std::mutex> lock(mutex_);
  InputDevice& input = At(device, "InjectShort");
  if (input.Handle == 0 || !input.Started || !input.Present) return;
  notices_.Post(input.Target, MM_MIM_DATA, input.Handle, static_cast<LPARAM>(message));
}

std::size_t MidiInDriver::InjectSysEx(int device, const std::uint8_t* bytes, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  InputDevice& input = At(device, "InjectSysEx");
  if (input.Handle == 0 || !input.Started || !input.Present) return 0;
  std::size_t stored = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (input.Held.empty()) continue;  // no buffer: the byte is lost
    MIDIHDR* header = input.Held.front();
    header->lpData[header->dwBytesRecorded++] = static_cast<char>(bytes[i]);
    ++stored;
    if (header->dwBytesRecorded == header->dwBufferLength || bytes[i] == 0xF7) ReturnFirstBuffer(input);
  }
  return stored;
}

bool MidiInDriver::BreakSysEx(int device) {
  std::lock_guard<std::mutex> lock(mutex_);
  InputDevice& input = At(device, "BreakSysEx");
  if (input.Handle == 0 || !input.Started || input.Held.empty()) return false;
  ReturnFirstBuffer(input, MM_MIM_LONGERROR);
  return true;
}

void MidiInDriver::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  ResetDriver();
}

}  // namespace sim
