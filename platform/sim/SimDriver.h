// Control of the simulated platform: the test instrument behind every native
// test and benchmark. A test configures devices, makes calls fail, injects
// input, completes output headers, advances the clock and ticks the timer,
// then reads back what every device received and every call that was made.
//
// The simulated system is one process-wide object (as the real one is);
// sim::Reset() returns it to a fresh machine with no devices. All control
// functions are called from the test's main thread, except where noted.
// A control naming a device that does not exist (InjectShort(5, ...) with two
// inputs) throws std::out_of_range: it is a fault of the test, not a state of
// the machine. Queries (InputOpen, ReceivedBy...) answer false / empty instead.
//
// The devices behave as winmm's do: each device is open by one handle at a
// time (a second open answers MMSYSERR_ALLOCATED); an id beyond the count
// answers MMSYSERR_BADDEVICEID; a handle that is closed or was never given
// out answers MMSYSERR_INVALHANDLE. Handles, notice-window targets and timer
// ids are never given out twice in the life of the process.
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
  // Tells two devices of the same name and version apart when the machine's
  // devices change (ChangeOutputDevices): the same unit is the same device.
  int Unit = 0;
  // A slow driver: every open of the device takes this long, in real time,
  // without holding up calls on other devices.
  double OpenMilliseconds = 0;
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
const char* CallName(Call What);

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
// No devices, no failures, empty records and notice queue, manual clock at
// the start time (29 March 2026 01:59:00), timer events killed and their
// threads joined, timer caps 1..1 000 000, auto-complete and open/close
// notices on, a new temporary folder. Live notice windows stay registered and
// heap blocks given out earlier stay valid (and are no longer counted).
void Reset();
// Throws std::logic_error while a device of that direction is open, and
// std::invalid_argument for NameFillsAll with a name shorter than 32.
void SetInputDevices(std::vector<DeviceConfig> Devices);
void SetOutputDevices(std::vector<DeviceConfig> Devices);
// A device that stops answering (or answers again) while the program runs,
// without leaving the system's list: every call on its handles then answers
// MMSYSERR_NODRIVER, a new open and GetDevCaps included. A handle open when
// it stopped stays dead after it answers again, as on Windows, until it is
// closed: its close answers MMSYSERR_NODRIVER but releases the handle (the
// buffers or headers it held are lost with it), so the device can be opened
// again once it is back. The device count does not change.
void SetOutputPresent(int Device, bool Present);
void SetInputPresent(int Device, bool Present);
// The machine's devices change while ports are open (a USB device plugged in
// or pulled, the system numbering its devices anew): `Devices` is the new
// list in device-id order. An entry with the name, version and unit of a
// device already known is that device, with its open handle and what it
// received; a known device missing from the list has left (its handles
// answer as above, and stay dead if it comes back); any other entry is a new
// device. Allowed while devices are open; ids then name the new list.
void ChangeOutputDevices(std::vector<DeviceConfig> Devices);
void ChangeInputDevices(std::vector<DeviceConfig> Devices);
// Everything an output device received, found by name and unit wherever (and
// whether) it is listed now.
std::vector<Received> ReceivedByDevice(const std::string& Name, int Unit = 0);

// --- failure injection ---------------------------------------------------
// The next `Count` calls of `What` (on `Device`, or on any device when -1)
// answer `Result` instead of doing their work. count < 0: from now on.
// With `After` > 0, that many matching calls go through first.
// For HeapAlloc a failure answers nullptr; for ReadFile/ReplaceFile, false.
// For TimeSetEvent a failure answers 0; for MidiIn/OutGetNumDevs, 0 devices.
// A failure is checked before anything else (a failing close leaves the
// handle open) and is recorded with the result it gave. Rules match in the
// order they were given; the MIDI mapper counts as device 0 here.
void FailCall(Call What, MMRESULT Result, int Count = 1, int Device = -1, int After = 0);
void ClearFailures();

// --- records ---------------------------------------------------------------
std::vector<CallRecord> Calls();            // in call order, every thread
std::vector<CallRecord> Calls(Call What);   // only those of one kind
void ClearCalls();
// On by default; a long benchmark turns it off so the record does not grow.
void SetCallRecording(bool On);
std::size_t LiveHeapBlocks();               // allocated and not yet freed
std::size_t HeapFreesOfUnknownBlocks();     // frees of blocks never allocated, or twice

// --- input devices ---------------------------------------------------------
bool InputOpen(int Device);
bool InputStarted(int Device);
std::size_t QueuedInputBuffers(int Device);  // headers given with AddBuffer, not yet returned
// Posts MM_MIM_DATA (WParam = handle, LParam = message) to the open input's
// notice window (nothing if not open/started).
void InjectShort(int Device, DWORD Message);
// Feeds bytes into the queued buffers in order: a buffer that fills, and the
// buffer that holds a closing 0xF7, is returned (MHDR_DONE set, MHDR_INQUEUE
// cleared) with MM_MIM_LONGDATA (WParam = handle, LParam = header). Bytes
// that arrive while no buffer is queued are lost, as a real driver loses them;
// the return value is the number of bytes that found a buffer. A message
// without its 0xF7 stays in its buffer, and the next bytes join it. Nothing
// is recorded while the device is not open and started (returns 0).
// midiInStop returns the front buffer if it holds part of a message;
// midiInReset returns every queued buffer, each with its own notice.
std::size_t InjectSysEx(int Device, const std::uint8_t* Bytes, std::size_t Length);
// The driver finds the system-exclusive bytes it is receiving broken: the
// front buffer, with what it holds so far, is returned with MM_MIM_LONGERROR.
// False when no buffer is queued.
bool BreakSysEx(int Device);
// Posts a notice of any kind to the notice window of the input or output
// port that holds `Device` open (or to the window that was last given to it),
// for stale and unknown notices.
void PostInputNotice(int Device, UINT Msg, WPARAM wParam, LPARAM lParam);
void PostOutputNotice(int Device, UINT Msg, WPARAM wParam, LPARAM lParam);
std::uintptr_t InputHandle(int Device);   // current handle, 0 when closed
std::uintptr_t OutputHandle(int Device);
// As winmm does, an open with a notice window posts MM_MIM_OPEN / MM_MOM_OPEN
// and a successful close MM_MIM_CLOSE / MM_MOM_CLOSE (WParam = handle,
// LParam 0). On by default; off, only data and completion notices are posted.
void SetOpenCloseNotices(bool On);

// --- output devices --------------------------------------------------------
bool OutputOpen(int Device);
std::vector<Received> ReceivedBy(int Device);  // everything sent since Reset / ClearReceived
void ClearReceived();
// Long-message headers the device holds and has not completed, in send order.
std::vector<MIDIHDR*> PendingOutputHeaders(int Device);
// Marks the header done and posts MM_MOM_DONE for it (WParam = handle,
// LParam = header); any order is allowed. Throws std::invalid_argument for a
// header the device does not hold. midiOutReset completes every held header
// in send order; the notes it silences are not recorded as received.
void CompleteHeader(int Device, MIDIHDR* Header);
void CompleteAllHeaders(int Device);
// When set (the default), every long message is completed at once, posting
// MM_MOM_DONE from inside midiOutLongMsg as a fast driver does.
void SetAutoComplete(bool On);

// --- notices (the main thread's message loop) -----------------------------
std::size_t PendingNotices();
// Delivers every posted notice in posting order, including those posted while
// delivering; returns how many this call delivered itself (a handler that
// delivers again counts its own). Same as platform::DeliverPendingNotices.
// Each notice goes to its window's handler on the calling thread, with no
// lock held; only windows created on the calling thread receive, others'
// notices stay queued. A notice for a window that no longer exists is dropped.
std::size_t DeliverNotices();

// --- clock -----------------------------------------------------------------
// Manual clock (the default): Now stays put until the test moves it. Now is
// the set value plus the milliseconds advanced since, so after AdvanceMs(d)
// it equals start + d / MillisecondsPerDay computed in one step. AdvanceMs
// throws std::invalid_argument for a negative step (SetNow may go anywhere).
void SetNow(TDateTime Now);
void AdvanceMs(double Milliseconds);
TDateTime NowValue();

// --- timer -----------------------------------------------------------------
// Caps the service reports (default 1..1 000 000 ms).
void SetTimerCaps(UINT PeriodMin, UINT PeriodMax);
std::size_t RunningTimerEvents();
int OutstandingTimerPeriods();  // timeBeginPeriod calls not yet matched
std::size_t WakeUps();          // wake-ups created and not yet killed
// timeSetEvent refuses (answers 0) a delay of 0 or outside the caps, a null
// callback and event callbacks; TIME_ONESHOT events fire once and are gone.
// Manual timer: runs one tick of every running event, in id order, on the
// timer thread (one thread, never the caller's) and waits until the callbacks
// have returned. The clock does not move and due times are not changed.
void TickTimer();
// Advances the manual clock by `Milliseconds`, stopping at each due time of a
// running event (an event is due `interval` ms after its timeSetEvent, then
// every interval), setting Now to that due time and running the events due
// then on the timer thread. With one event of 4 ms, RunFor(40) ticks it 10
// times at +4, +8 ... +40. Events created by callbacks join in. It stops at
// each moment a wake-up was asked for too (Now is then not earlier than the
// moment, and at most about a microsecond past it).
// TickTimer and RunFor throw std::logic_error in real-time mode.
void RunFor(double Milliseconds);

// --- real-time mode ----------------------------------------------------------
// Now follows the steady clock (anchored at the moment of the switch), and each
// periodic event fires on its own thread at its interval against the steady
// clock, as the system timer does. For concurrency tests and benchmarks.
// Sends are then recorded with the real time of the send. A tick that comes
// late is made up at once, but only one: there are no bursts. Switching back
// stops the threads (waiting for callbacks) and leaves Now where it had got.
void SetRealTime(bool On);
bool RealTime();

// --- files and folders -------------------------------------------------------
void SetLocalAppDataFolder(std::string Folder);  // default: a fresh temp folder per Reset
void SetProgramFilePath(std::string Path);       // default: <folder>/Velmora.exe
std::string LocalAppDataFolder();

// The steps of a ReplaceFileText at which a test can stop the program, as a
// kill or a power cut would: before the temporary file is written, after it
// has been written and flushed (the target is still the old file), and after
// it has been renamed over the target (the target is the new file).
enum class FileStep { BeforeTemporary, TemporaryWritten, Renamed };
using FileStepHook =
    std::function<void(FileStep Step, const std::string& Path, const std::string& Text)>;
// Called on the writing thread at each step of every ReplaceFileText that a
// FailCall rule does not fail, with no lock held; a hook may _exit() there.
// A step the write does not reach (the temporary file cannot be made) is not
// called. Reset clears it.
void SetFileStepHook(FileStepHook Hook);

// A slow disk: every ReadFileText and ReplaceFileText takes this many
// milliseconds of the simulated clock before it reads or writes (0: none; Reset
// clears it). FileOperationsInProgress counts those waiting right now. A file
// that a FailCall rule fails to read still exists: a sharing violation.
void SetDiskLatency(double Milliseconds);
std::size_t FileOperationsInProgress();

}  // namespace sim
