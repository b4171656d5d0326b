// The platform seam over the simulated machine.
#include "platform/Platform.h"

#include "platform/sim/SimMachine.h"

namespace platform {

using sim::TheMachine;

UINT midiInGetNumDevs() { return TheMachine().MidiIn.GetNumDevs(); }

MMRESULT midiInGetDevCapsA(UINT_PTR DeviceId, MIDIINCAPSA* Caps, UINT CapsSize) {
  return TheMachine().MidiIn.GetDevCaps(DeviceId, Caps, CapsSize);
}

MMRESULT midiInOpen(HMIDIIN* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD_PTR Instance,
                    DWORD Flags) {
  static_cast<void>(Instance);  // only callback functions receive it
  return TheMachine().MidiIn.Open(Handle, DeviceId, Callback, Flags);
}

MMRESULT midiInPrepareHeader(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize) {
  return TheMachine().MidiIn.PrepareHeader(Handle, Header, HeaderSize);
}

MMRESULT midiInUnprepareHeader(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize) {
  return TheMachine().MidiIn.UnprepareHeader(Handle, Header, HeaderSize);
}

MMRESULT midiInAddBuffer(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize) {
  return TheMachine().MidiIn.AddBuffer(Handle, Header, HeaderSize);
}

MMRESULT midiInStart(HMIDIIN Handle) { return TheMachine().MidiIn.Start(Handle); }
MMRESULT midiInStop(HMIDIIN Handle) { return TheMachine().MidiIn.Stop(Handle); }
MMRESULT midiInReset(HMIDIIN Handle) { return TheMachine().MidiIn.Reset(Handle); }
MMRESULT midiInClose(HMIDIIN Handle) { return TheMachine().MidiIn.Close(Handle); }

UINT midiOutGetNumDevs() { return TheMachine().MidiOut.GetNumDevs(); }

MMRESULT midiOutGetDevCapsA(UINT_PTR DeviceId, MIDIOUTCAPSA* Caps, UINT CapsSize) {
  return TheMachine().MidiOut.GetDevCaps(DeviceId, Caps, CapsSize);
}

MMRESULT midiOutOpen(HMIDIOUT* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD_PTR Instance,
                     DWORD Flags) {
  static_cast<void>(Instance);  // only callback functions receive it
  return TheMachine().MidiOut.Open(Handle, DeviceId, Callback, Flags);
}

MMRESULT midiOutShortMsg(HMIDIOUT Handle, DWORD Message) {
  return TheMachine().MidiOut.ShortMsg(Handle, Message);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize) {
  return TheMachine().MidiOut.PrepareHeader(Handle, Header, HeaderSize);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize) {
  return TheMachine().MidiOut.UnprepareHeader(Handle, Header, HeaderSize);
}

MMRESULT midiOutLongMsg(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize) {
  return TheMachine().MidiOut.LongMsg(Handle, Header, HeaderSize);
}

MMRESULT midiOutReset(HMIDIOUT Handle) { return TheMachine().MidiOut.Reset(Handle); }
MMRESULT midiOutClose(HMIDIOUT Handle) { return TheMachine().MidiOut.Close(Handle); }

MMRESULT timeGetDevCaps(TIMECAPS* Caps, UINT CapsSize) {
  return TheMachine().Timer.GetDevCaps(Caps, CapsSize);
}

MMRESULT timeBeginPeriod(UINT Period) { return TheMachine().Timer.BeginPeriod(Period); }
MMRESULT timeEndPeriod(UINT Period) { return TheMachine().Timer.EndPeriod(Period); }

UINT timeSetEvent(UINT Delay, UINT Resolution, LPTIMECALLBACK Callback, DWORD_PTR User,
                  UINT Flags) {
  return TheMachine().Timer.SetEvent(Delay, Resolution, Callback, User, Flags);
}

MMRESULT timeKillEvent(UINT TimerId) { return TheMachine().Timer.KillEvent(TimerId); }

// The simulated timer service names its wake-ups by identifier, as events.
struct WakeUp {
  UINT Id = 0;
};

WakeUp* wakeUpCreate(LPTIMECALLBACK Callback, DWORD_PTR User) {
  return new WakeUp{TheMachine().Timer.CreateWakeUp(Callback, User)};
}

void wakeUpAt(WakeUp* Instance, TDateTime Moment) noexcept {
  // The simulated service allocates nothing here; a broken simulation ends
  // the test program, as a fault of the timer thread would.
  TheMachine().Timer.WakeUpAt(Instance->Id, Moment);
}

void wakeUpKill(WakeUp* Instance) {
  TheMachine().Timer.KillWakeUp(Instance->Id);
  delete Instance;
}

void* ProcessHeapAlloc(std::size_t Bytes) { return TheMachine().ProcessHeap.Alloc(Bytes); }
void ProcessHeapFree(void* Block) { TheMachine().ProcessHeap.Free(Block); }

TDateTime Now() { return TheMachine().WallClock.Now(); }

std::string LocalAppDataFolder() { return TheMachine().FileSystem.LocalAppDataFolder(); }
std::string ProgramFilePath() { return TheMachine().FileSystem.ProgramFilePath(); }

bool ReadFileText(const std::string& Path, std::string& Text) {
  return TheMachine().FileSystem.ReadText(Path, Text);
}

bool ReplaceFileText(const std::string& Path, const std::string& Text) {
  return TheMachine().FileSystem.ReplaceText(Path, Text);
}

bool FileExists(const std::string& Path) { return TheMachine().FileSystem.Exists(Path); }

void DeliverPendingNotices() { TheMachine().Notices.Deliver(); }

}  // namespace platform
