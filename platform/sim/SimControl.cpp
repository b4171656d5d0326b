// The test's controls of the simulated machine.
#include <utility>

#include "platform/sim/SimDriver.h"
#include "platform/sim/SimMachine.h"

namespace sim {

const char* CallName(Call What) {
  switch (What) {
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
void SetInputDevices(std::vector<DeviceConfig> Devices) {
  TheMachine().MidiIn.SetDevices(std::move(Devices));
}
void SetOutputDevices(std::vector<DeviceConfig> Devices) {
  TheMachine().MidiOut.SetDevices(std::move(Devices));
}
void SetOutputPresent(int Device, bool Present) { TheMachine().MidiOut.SetPresent(Device, Present); }
void SetInputPresent(int Device, bool Present) { TheMachine().MidiIn.SetPresent(Device, Present); }
void ChangeOutputDevices(std::vector<DeviceConfig> Devices) { TheMachine().MidiOut.ChangeDevices(std::move(Devices)); }
void ChangeInputDevices(std::vector<DeviceConfig> Devices) { TheMachine().MidiIn.ChangeDevices(std::move(Devices)); }
std::vector<Received> ReceivedByDevice(const std::string& Name, int Unit) {
  return TheMachine().MidiOut.ReceivedByDevice(Name, Unit);
}

void FailCall(Call What, MMRESULT Result, int Count, int Device, int After) {
  TheMachine().Calls.AddFailure(What, Result, Count, Device, After);
}
void ClearFailures() { TheMachine().Calls.ClearFailures(); }

std::vector<CallRecord> Calls() { return TheMachine().Calls.Records(); }
std::vector<CallRecord> Calls(Call What) { return TheMachine().Calls.Records(What); }
void ClearCalls() { TheMachine().Calls.ClearRecords(); }
void SetCallRecording(bool On) { TheMachine().Calls.SetRecording(On); }
std::size_t LiveHeapBlocks() { return TheMachine().ProcessHeap.LiveBlocks(); }
std::size_t HeapFreesOfUnknownBlocks() { return TheMachine().ProcessHeap.FreesOfUnknownBlocks(); }

bool InputOpen(int Device) { return TheMachine().MidiIn.IsOpen(Device); }
bool InputStarted(int Device) { return TheMachine().MidiIn.IsStarted(Device); }
std::size_t QueuedInputBuffers(int Device) { return TheMachine().MidiIn.QueuedBuffers(Device); }
void InjectShort(int Device, DWORD Message) { TheMachine().MidiIn.InjectShort(Device, Message); }
std::size_t InjectSysEx(int Device, const std::uint8_t* Bytes, std::size_t Length) {
  return TheMachine().MidiIn.InjectSysEx(Device, Bytes, Length);
}
bool BreakSysEx(int Device) { return TheMachine().MidiIn.BreakSysEx(Device); }
void PostInputNotice(int Device, UINT Msg, WPARAM wParam, LPARAM lParam) {
  TheMachine().MidiIn.PostNotice(Device, Msg, wParam, lParam);
}
void PostOutputNotice(int Device, UINT Msg, WPARAM wParam, LPARAM lParam) {
  TheMachine().MidiOut.PostNotice(Device, Msg, wParam, lParam);
}
std::uintptr_t InputHandle(int Device) { return TheMachine().MidiIn.Handle(Device); }
std::uintptr_t OutputHandle(int Device) { return TheMachine().MidiOut.Handle(Device); }
void SetOpenCloseNotices(bool On) {
  TheMachine().MidiIn.SetOpenCloseNotices(On);
  TheMachine().MidiOut.SetOpenCloseNotices(On);
}

bool OutputOpen(int Device) { return TheMachine().MidiOut.IsOpen(Device); }
std::vector<Received> ReceivedBy(int Device) { return TheMachine().MidiOut.ReceivedBy(Device); }
void ClearReceived() { TheMachine().MidiOut.ClearReceived(); }
std::vector<MIDIHDR*> PendingOutputHeaders(int Device) {
  return TheMachine().MidiOut.PendingHeaders(Device);
}
void CompleteHeader(int Device, MIDIHDR* Header) {
  TheMachine().MidiOut.CompleteHeader(Device, Header);
}
void CompleteAllHeaders(int Device) { TheMachine().MidiOut.CompleteAllHeaders(Device); }
void SetAutoComplete(bool On) { TheMachine().MidiOut.SetAutoComplete(On); }

std::size_t PendingNotices() { return TheMachine().Notices.Pending(); }
std::size_t DeliverNotices() { return TheMachine().Notices.Deliver(); }

void SetNow(TDateTime Now) { TheMachine().WallClock.Set(Now); }
void AdvanceMs(double Milliseconds) { TheMachine().WallClock.Advance(Milliseconds); }
TDateTime NowValue() { return TheMachine().WallClock.Now(); }

void SetTimerCaps(UINT PeriodMin, UINT PeriodMax) {
  TheMachine().Timer.SetCaps(PeriodMin, PeriodMax);
}
std::size_t RunningTimerEvents() { return TheMachine().Timer.RunningEvents(); }
int OutstandingTimerPeriods() { return TheMachine().Timer.OutstandingPeriods(); }
std::size_t WakeUps() { return TheMachine().Timer.WakeUps(); }
void TickTimer() { TheMachine().Timer.Tick(); }
void RunFor(double Milliseconds) { TheMachine().Timer.RunFor(Milliseconds); }

void SetRealTime(bool On) {
  Machine& machine = TheMachine();
  // The timer's threads start against a running clock and stop before the
  // clock stands still again.
  if (On) {
    machine.WallClock.SetRealTime(true);
    machine.Timer.SetRealTime(true);
  } else {
    machine.Timer.SetRealTime(false);
    machine.WallClock.SetRealTime(false);
  }
}
bool RealTime() { return TheMachine().WallClock.RealTime(); }

void SetLocalAppDataFolder(std::string Folder) {
  TheMachine().FileSystem.SetLocalAppDataFolder(std::move(Folder));
}
void SetProgramFilePath(std::string Path) {
  TheMachine().FileSystem.SetProgramFilePath(std::move(Path));
}
std::string LocalAppDataFolder() { return TheMachine().FileSystem.LocalAppDataFolder(); }
void SetFileStepHook(FileStepHook Hook) { TheMachine().FileSystem.SetStepHook(std::move(Hook)); }
void SetDiskLatency(double Milliseconds) { TheMachine().FileSystem.SetLatency(Milliseconds); }
std::size_t FileOperationsInProgress() { return TheMachine().FileSystem.OperationsInProgress(); }

}  // namespace sim
