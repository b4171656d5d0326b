// The test's controls of the simulated machine.
#include <utility>

#include "platform/sim/SimDriver.h"
#include "platform/sim/SimMachine.h"

namespace sim {

const char* CallName(Call call) {
  switch (call) {
    case Call::MidiInGetNumDevs: return "midiInGetNumDevs";
    case Call::MidiInGetDevCaps: return "midiInGetDevCapsA";
    case Call::MidiInOpen: return "midiInOpen";
    case Call::MidiInPrepareHeader: return "midiInPrepareHeader";
    case Call::MidiInUnprepareHeader: return "midiInUnprepareHeader";
    case Call::MidiInAddBuffer: return "midiInAddBuffer";
    case Call::MidiInStart: return "midiInStart";
    case Call::MidiInStop: return "midiInStop";
    case Call::MidiInReset: return "midiInReset";
    case Call::MidiInClose: return "midiInClose";
    case Call::MidiOutGetNumDevs: return "midiOutGetNumDevs";
    case Call::MidiOutGetDevCaps: return "midiOutGetDevCapsA";
    case Call::MidiOutOpen: return "midiOutOpen";
    case Call::MidiOutShortMsg: return "midiOutShortMsg";
    case Call::MidiOutPrepareHeader: return "midiOutPrepareHeader";
    case Call::MidiOutUnprepareHeader: return "midiOutUnprepareHeader";
    case Call::MidiOutLongMsg: return "midiOutLongMsg";
    case Call::MidiOutReset: return "midiOutReset";
    case Call::MidiOutClose: return "midiOutClose";
    case Call::TimeGetDevCaps: return "timeGetDevCaps";
    case Call::TimeBeginPeriod: return "timeBeginPeriod";
    case Call::TimeEndPeriod: return "timeEndPeriod";
    case Call::TimeSetEvent: return "timeSetEvent";
    case Call::TimeKillEvent: return "timeKillEvent";
    case Call::HeapAlloc: return "ProcessHeapAlloc";
    case Call::HeapFree: return "ProcessHeapFree";
    case Call::ReadFile: return "ReadFileText";
    case Call::ReplaceFile: return "ReplaceFileText";
  }
  return "?";
}

void Reset() { TheMachine().Reset(); }
void SetInputDevices(std::vector<DeviceConfig> devices) {
  TheMachine().MidiIn.SetDevices(std::move(devices));
}
void SetOutputDevices(std::vector<DeviceConfig> devices) {
  TheMachine().MidiOut.SetDevices(std::move(devices));
}
void SetOutputPresent(int device, bool present) { TheMachine().MidiOut.SetPresent(device, present); }
void SetInputPresent(int device, bool present) { TheMachine().MidiIn.SetPresent(device, present); }
void ChangeOutputDevices(std::vector<DeviceConfig> devices) { TheMachine().MidiOut.ChangeDevices(std::move(devices)); }
void ChangeInputDevices(std::vector<DeviceConfig> devices) { TheMachine().MidiIn.ChangeDevices(std::move(devices)); }
std::vector<Received> ReceivedByDevice(const std::string& name, int unit) {
  return TheMachine().MidiOut.ReceivedByDevice(name, unit);
}

void FailCall(Call what, MMRESULT result, int count, int device, int after) {
  TheMachine().Calls.AddFailure(what, result, count, device, after);
}
void ClearFailures() { TheMachine().Calls.ClearFailures(); }

std::vector<CallRecord> Calls() { return TheMachine().Calls.Records(); }
std::vector<CallRecord> Calls(Call what) { return TheMachine().Calls.Records(what); }
void ClearCalls() { TheMachine().Calls.ClearRecords(); }
void SetCallRecording(bool on) { TheMachine().Calls.SetRecording(on); }
std::size_t LiveHeapBlocks() { return TheMachine().ProcessHeap.LiveBlocks(); }
std::size_t HeapFreesOfUnknownBlocks() { return TheMachine().ProcessHeap.FreesOfUnknownBlocks(); }

bool InputOpen(int device) { return TheMachine().MidiIn.IsOpen(device); }
bool InputStarted(int device) { return TheMachine().MidiIn.IsStarted(device); }
std::size_t QueuedInputBuffers(int device) { return TheMachine().MidiIn.QueuedBuffers(device); }
void InjectShort(int device, DWORD message) { TheMachine().MidiIn.InjectShort(device, message); }
std::size_t InjectSysEx(int device, const std::uint8_t* bytes, std::size_t length) {
  return TheMachine().MidiIn.InjectSysEx(device, bytes, length);
}
bool BreakSysEx(int device) { return TheMachine().MidiIn.BreakSysEx(device); }
void PostInputNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam) {
  TheMachine().MidiIn.PostNotice(device, msg, wParam, lParam);
}
void PostOutputNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam) {
  TheMachine().MidiOut.PostNotice(device, msg, wParam, lParam);
}
std::uintptr_t InputHandle(int device) { return TheMachine().MidiIn.Handle(device); }
std::uintptr_t OutputHandle(int device) { return TheMachine().MidiOut.Handle(device); }
void SetOpenCloseNotices(bool on) {
  TheMachine().MidiIn.SetOpenCloseNotices(on);
  TheMachine().MidiOut.SetOpenCloseNotices(on);
}

bool OutputOpen(int device) { return TheMachine().MidiOut.IsOpen(device); }
std::vector<Received> ReceivedBy(int device) { return TheMachine().MidiOut.ReceivedBy(device); }
void ClearReceived() { TheMachine().MidiOut.ClearReceived(); }
std::vector<MIDIHDR*> PendingOutputHeaders(int device) {
  return TheMachine().MidiOut.PendingHeaders(device);
}
void CompleteHeader(int device, MIDIHDR* header) {
  TheMachine().MidiOut.CompleteHeader(device, header);
}
void CompleteAllHeaders(int device) { TheMachine().MidiOut.CompleteAllHeaders(device); }
void SetAutoComplete(bool on) { TheMachine().MidiOut.SetAutoComplete(on); }

std::size_t PendingNotices() { return TheMachine().Notices.Pending(); }
std::size_t DeliverNotices() { return TheMachine().Notices.Deliver(); }

void SetNow(TDateTime now) { TheMachine().WallClock.Set(now); }
void AdvanceMs(double milliseconds) { TheMachine().WallClock.Advance(milliseconds); }
TDateTime NowValue() { return TheMachine().WallClock.Now(); }

void SetTimerCaps(UINT periodMin, UINT periodMax) {
  TheMachine().Timer.SetCaps(periodMin, periodMax);
}
std::size_t RunningTimerEvents() { return TheMachine().Timer.RunningEvents(); }
int OutstandingTimerPeriods() { return TheMachine().Timer.OutstandingPeriods(); }
std::size_t WakeUps() { return TheMachine().Timer.WakeUps(); }
void TickTimer() { TheMachine().Timer.Tick(); }
void RunFor(double milliseconds) { TheMachine().Timer.RunFor(milliseconds); }

void SetRealTime(bool on) {
  Machine& machine = TheMachine();
  // The timer's threads start against a running clock and stop before the
  // clock stands still again.
  if (on) {
    machine.WallClock.SetRealTime(true);
    machine.Timer.SetRealTime(true);
  } else {
    machine.Timer.SetRealTime(false);
    machine.WallClock.SetRealTime(false);
  }
}
bool RealTime() { return TheMachine().WallClock.RealTime(); }

void SetLocalAppDataFolder(std::string folder) {
  TheMachine().FileSystem.SetLocalAppDataFolder(std::move(folder));
}
void SetProgramFilePath(std::string path) {
  TheMachine().FileSystem.SetProgramFilePath(std::move(path));
}
std::string LocalAppDataFolder() { return TheMachine().FileSystem.LocalAppDataFolder(); }
void SetFileStepHook(FileStepHook hook) { TheMachine().FileSystem.SetStepHook(std::move(hook)); }
void SetDiskLatency(double milliseconds) { TheMachine().FileSystem.SetLatency(milliseconds); }
std::size_t FileOperationsInProgress() { return TheMachine().FileSystem.OperationsInProgress(); }

}  // namespace sim
