// Control of the simulated platform: the test instrument behind every native
// test and benchmark. A test configures devices, makes calls fail, injects
// input, completes output headers, advances the clock and ticks the timer,
// then reads back what every device received and every call that was made.
//
// The simulated system is one process-wide object (as the real one is);
// sim::Reset() returns it to a fresh machine with no devices. All control
// functions are called from the test's main thread, except where noted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "platform/MmSystem.h"

namespace sim {

struct DeviceConfig {
  std::string Name;             // szPname, cut to 31 characters plus NUL...
  bool NameFillsAll = false;    // ...or, when set, all 32 characters with no NUL
  UINT DriverVersion = 0x0100;  // vDriverVersion
  bool CapsFail = false;        // GetDevCaps answers MMSYSERR_ERROR
  bool RefuseOpen = false;      // Open answers MMSYSERR_ALLOCATED
};

// Every platform call the core can make, for recording and failure injection.
enum class Call {
  MidiInGetNumDevs, MidiInGetDevCaps, MidiInOpen, MidiInPrepareHeader, MidiInUnprepareHeader,
  MidiInAddBuffer, MidiInStart, MidiInStop, MidiInReset, MidiInClose,
  MidiOutGetNumDevs, MidiOutGetDevCaps, MidiOutOpen, MidiOutShortMsg, MidiOutPrepareHeader,
  MidiOutUnprepareHeader, MidiOutLongMsg, MidiOutReset, MidiOutClose,
  TimeGetDevCaps, TimeBeginPeriod, TimeEndPeriod, TimeSetEvent, TimeKillEvent,
  HeapAlloc, HeapFree, ReadFile, ReplaceFile,
};
const char* CallName(Call call);

struct CallRecord {
  Call What;
  int Device = -1;          // device index the call concerns (-1: none / not a device call)
  std::uintptr_t Handle = 0;  // device handle, header, block or timer id it was given
  std::uintptr_t Arg = 0;     // the main further argument (message, header, period, size...)
  MMRESULT Result = 0;
  TDateTime Time = 0;       // simulated Now when the call was made
  std::string Path;         // the file of a ReadFile / ReplaceFile call
};

// One message as an output device received it.
struct Received {
  bool Long = false;
  DWORD Short = 0;                 // the packed short message
  std::vector<std::uint8_t> Bytes;  // the bytes of a long message
  TDateTime Time = 0;              // simulated Now at the send
};

// --- the machine ---------------------------------------------------------
void Reset();  // no devices, no failures, empty records, manual clock at the start time
void SetInputDevices(std::vector<DeviceConfig> devices);
void SetOutputDevices(std::vector<DeviceConfig> devices);
// A device that disappears (or comes back) while the program runs: every call
// on its handles then answers MMSYSERR_NODRIVER, a new open included.
void SetOutputPresent(int device, bool present);
void SetInputPresent(int device, bool present);

// --- failure injection ---------------------------------------------------
// The next `count` calls of `what` (on `device`, or on any device when -1)
// answer `result` instead of doing their work. count < 0: from now on.
// For HeapAlloc a failure answers nullptr; for ReadFile/ReplaceFile, false.
// For TimeSetEvent a failure answers 0.
void FailCall(Call what, MMRESULT result, int count = 1, int device = -1);
void ClearFailures();

// --- records ---------------------------------------------------------------
std::vector<CallRecord> Calls();            // in call order, every thread
std::vector<CallRecord> Calls(Call what);   // only those of one kind
void ClearCalls();
// On by default; a long benchmark turns it off so the record does not grow.
void SetCallRecording(bool on);
std::size_t LiveHeapBlocks();               // allocated and not yet freed
std::size_t HeapFreesOfUnknownBlocks();     // frees of blocks never allocated, or twice

// --- input devices ---------------------------------------------------------
bool InputOpen(int device);
bool InputStarted(int device);
std::size_t QueuedInputBuffers(int device);  // headers given with AddBuffer, not yet returned
// Posts MM_MIM_DATA to the open input's notice window (nothing if not open/started).
void InjectShort(int device, DWORD message);
// Feeds bytes into the queued buffers in order: a buffer that fills, and the
// buffer that holds a closing 0xF7, is returned with MM_MIM_LONGDATA. Bytes
// that arrive while no buffer is queued are lost, as a real driver loses them;
// the return value is the number of bytes that found a buffer.
std::size_t InjectSysEx(int device, const std::uint8_t* bytes, std::size_t length);
// Posts a notice of any kind to the notice window of the input or output
// port that holds `device` open (or to the window that was last given to it),
// for stale and unknown notices.
void PostInputNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam);
void PostOutputNotice(int device, UINT msg, WPARAM wParam, LPARAM lParam);
std::uintptr_t InputHandle(int device);   // current handle, 0 when closed
std::uintptr_t OutputHandle(int device);
// As winmm does, an open with a notice window posts MM_MIM_OPEN / MM_MOM_OPEN
// and a successful close MM_MIM_CLOSE / MM_MOM_CLOSE (WParam = handle,
// LParam 0). On by default; off, only data and completion notices are posted.
void SetOpenCloseNotices(bool on);

// --- output devices --------------------------------------------------------
bool OutputOpen(int device);
std::vector<Received> ReceivedBy(int device);  // everything sent since Reset / ClearReceived
void ClearReceived();
// Long-message headers the device holds and has not completed, in send order.
std::vector<MIDIHDR*> PendingOutputHeaders(int device);
// Marks the header done and posts MM_MOM_DONE for it; any order is allowed.
void CompleteHeader(int device, MIDIHDR* header);
void CompleteAllHeaders(int device);
// When set (the default), every long message is completed at once, posting
// MM_MOM_DONE from inside midiOutLongMsg as a fast driver does.
void SetAutoComplete(bool on);

// --- notices (the main thread's message loop) -----------------------------
std::size_t PendingNotices();
// Delivers every posted notice in posting order, including those posted while
// delivering; returns how many were delivered. Same as
// platform::DeliverPendingNotices.
std::size_t DeliverNotices();

// --- clock -----------------------------------------------------------------
// Manual clock (the default): Now stays put until the test moves it.
void SetNow(TDateTime now);
void AdvanceMs(double milliseconds);
TDateTime NowValue();

// --- timer -----------------------------------------------------------------
// Caps the service reports (default 1..1 000 000 ms).
void SetTimerCaps(UINT periodMin, UINT periodMax);
std::size_t RunningTimerEvents();
int OutstandingTimerPeriods();  // timeBeginPeriod calls not yet matched
// Manual timer: runs one tick of every running periodic event on the timer
// thread and waits until the callbacks have returned.
void TickTimer();
// Advances the manual clock by `milliseconds` in steps of the smallest running
// event's interval, ticking at each step (as the real timer would).
void RunFor(double milliseconds);

// --- real-time mode ----------------------------------------------------------
// Now follows the steady clock (anchored at the moment of the switch), and each
// periodic event fires on its own thread at its interval against the steady
// clock, as the system timer does. For concurrency tests and benchmarks.
// Sends are then recorded with the real time of the send.
void SetRealTime(bool on);
bool RealTime();

// --- files and folders -------------------------------------------------------
void SetLocalAppDataFolder(std::string folder);  // default: a fresh temp folder per Reset
void SetProgramFilePath(std::string path);       // default: <folder>/Velmora.exe
std::string LocalAppDataFolder();

}  // namespace sim
