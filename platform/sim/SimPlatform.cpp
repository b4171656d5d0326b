// The platform seam over the simulated machine.
#include "platform/Platform.h"

#include "platform/sim/SimMachine.h"

namespace platform {

using sim::TheMachine;

UINT midiInGetNumDevs() { return TheMachine().MidiIn.GetNumDevs(); }

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, MIDIINCAPSA* caps, UINT capsSize) {
  return TheMachine().MidiIn.GetDevCaps(deviceId, caps, capsSize);
}

MMRESULT midiInOpen(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags) {
  static_cast<void>(instance);  // only callback functions receive it
  return TheMachine().MidiIn.Open(handle, deviceId, callback, flags);
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return TheMachine().MidiIn.PrepareHeader(handle, header, headerSize);
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return TheMachine().MidiIn.UnprepareHeader(handle, header, headerSize);
}

MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return TheMachine().MidiIn.AddBuffer(handle, header, headerSize);
}

MMRESULT midiInStart(HMIDIIN handle) { return TheMachine().MidiIn.Start(handle); }
MMRESULT midiInStop(HMIDIIN handle) { return TheMachine().MidiIn.Stop(handle); }
MMRESULT midiInReset(HMIDIIN handle) { return TheMachine().MidiIn.Reset(handle); }
MMRESULT midiInClose(HMIDIIN handle) { return TheMachine().MidiIn.Close(handle); }

UINT midiOutGetNumDevs() { return TheMachine().MidiOut.GetNumDevs(); }

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, MIDIOUTCAPSA* caps, UINT capsSize) {
  return TheMachine().MidiOut.GetDevCaps(deviceId, caps, capsSize);
}

MMRESULT midiOutOpen(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
  static_cast<void>(instance);  // only callback functions receive it
  return TheMachine().MidiOut.Open(handle, deviceId, callback, flags);
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) {
  return TheMachine().MidiOut.ShortMsg(handle, message);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return TheMachine().MidiOut.PrepareHeader(handle, header, headerSize);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return TheMachine().MidiOut.UnprepareHeader(handle, header, headerSize);
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return TheMachine().MidiOut.LongMsg(handle, header, headerSize);
}

MMRESULT midiOutReset(HMIDIOUT handle) { return TheMachine().MidiOut.Reset(handle); }
MMRESULT midiOutClose(HMIDIOUT handle) { return TheMachine().MidiOut.Close(handle); }

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT capsSize) {
  return TheMachine().Timer.GetDevCaps(caps, capsSize);
}

MMRESULT timeBeginPeriod(UINT period) { return TheMachine().Timer.BeginPeriod(period); }
MMRESULT timeEndPeriod(UINT period) { return TheMachine().Timer.EndPeriod(period); }

UINT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user,
                  UINT flags) {
  return TheMachine().Timer.SetEvent(delay, resolution, callback, user, flags);
}

MMRESULT timeKillEvent(UINT timerId) { return TheMachine().Timer.KillEvent(timerId); }

// The simulated timer service names its wake-ups by identifier, as events.
struct WakeUp {
  UINT Id = 0;
};

WakeUp* wakeUpCreate(LPTIMECALLBACK callback, DWORD_PTR user) {
  return new WakeUp{TheMachine().Timer.CreateWakeUp(callback, user)};
}

void wakeUpAt(WakeUp* wakeUp, TDateTime moment) noexcept {
  // The simulated service allocates nothing here; a broken simulation ends
  // the test program, as a fault of the timer thread would.
  TheMachine().Timer.WakeUpAt(wakeUp->Id, moment);
}

void wakeUpKill(WakeUp* wakeUp) {
  TheMachine().Timer.KillWakeUp(wakeUp->Id);
  delete wakeUp;
}

void* ProcessHeapAlloc(std::size_t bytes) { return TheMachine().ProcessHeap.Alloc(bytes); }
void ProcessHeapFree(void* block) { TheMachine().ProcessHeap.Free(block); }

TDateTime Now() { return TheMachine().WallClock.Now(); }

std::string LocalAppDataFolder() { return TheMachine().FileSystem.LocalAppDataFolder(); }
std::string ProgramFilePath() { return TheMachine().FileSystem.ProgramFilePath(); }

bool ReadFileText(const std::string& path, std::string& text) {
  return TheMachine().FileSystem.ReadText(path, text);
}

bool ReplaceFileText(const std::string& path, const std::string& text) {
  return TheMachine().FileSystem.ReplaceText(path, text);
}

bool FileExists(const std::string& path) { return TheMachine().FileSystem.Exists(path); }

void DeliverPendingNotices() { TheMachine().Notices.Deliver(); }

}  // namespace platform
