// The one seam between the portable core (engine, MIDI ports, catalogue,
// timer, settings) and the operating system. Two backends implement it:
// platform/win32 over the real calls, platform/sim over a deterministic
// simulated driver. The core links against exactly one of them.
//
// The MIDI and timer calls carry the names, arguments and results of the
// Windows multimedia services; they live in namespace platform so that the
// simulated backend can be linked into a Windows program beside winmm.
#pragma once

#include <cstddef>
#include <string>

#include "platform/DateTime.h"
#include "platform/MmSystem.h"

namespace platform {

// MIDI input.
UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsA(UINT_PTR DeviceId, MIDIINCAPSA* Caps, UINT CapsSize);
MMRESULT midiInOpen(HMIDIIN* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD_PTR Instance,
                    DWORD Flags);
MMRESULT midiInPrepareHeader(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize);
MMRESULT midiInUnprepareHeader(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize);
MMRESULT midiInAddBuffer(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize);
MMRESULT midiInStart(HMIDIIN Handle);
MMRESULT midiInStop(HMIDIIN Handle);
MMRESULT midiInReset(HMIDIIN Handle);
MMRESULT midiInClose(HMIDIIN Handle);

// MIDI output.
UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT_PTR DeviceId, MIDIOUTCAPSA* Caps, UINT CapsSize);
MMRESULT midiOutOpen(HMIDIOUT* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD_PTR Instance,
                     DWORD Flags);
MMRESULT midiOutShortMsg(HMIDIOUT Handle, DWORD Message);
MMRESULT midiOutPrepareHeader(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize);
MMRESULT midiOutUnprepareHeader(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize);
MMRESULT midiOutLongMsg(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize);
MMRESULT midiOutReset(HMIDIOUT Handle);
MMRESULT midiOutClose(HMIDIOUT Handle);

// Periodic multimedia timer. The callback runs on a thread of the timer
// service, never on the main thread. timeKillEvent returns once a callback in
// progress on another thread has finished, and none starts after it.
MMRESULT timeGetDevCaps(TIMECAPS* Caps, UINT CapsSize);
MMRESULT timeBeginPeriod(UINT Period);
MMRESULT timeEndPeriod(UINT Period);
UINT timeSetEvent(UINT Delay, UINT Resolution, LPTIMECALLBACK Callback, DWORD_PTR User,
                  UINT Flags);
MMRESULT timeKillEvent(UINT TimerId);

// One-shot wake-ups at exact moments, between the periodic event's ticks. A
// wake-up has a thread of its own that calls `Callback` (with the wake-up's
// `User` value; the other four arguments 0) as soon as the moment asked for
// has come, never before it. wakeUpAt asks for a moment from any thread,
// callbacks included, and never waits: the earliest moment asked since the
// last callback began is the one served, and a moment already past is served
// at once. An ask that follows a hand-over of data in one thread is never
// served by a callback that cannot see that data. wakeUpKill returns once a
// callback in progress has finished, and none starts after it; never call it
// from the wake-up's own callback. wakeUpCreate returns nullptr when the
// system refuses.
struct WakeUp;
WakeUp* wakeUpCreate(LPTIMECALLBACK Callback, DWORD_PTR User);
void wakeUpAt(WakeUp* Instance, TDateTime Moment) noexcept;
void wakeUpKill(WakeUp* Instance);

// Blocks of the process heap, for MIDI headers and system-exclusive data.
// Zero-filled; nullptr when the heap refuses.
void* ProcessHeapAlloc(std::size_t Bytes);
void ProcessHeapFree(void* Block);

// The local date and time as a TDateTime. It reads the local wall clock once,
// at the first call, and from then on advances with a monotonic counter, so a
// clock set back (the end of daylight-saving time) cannot hold queued
// messages back; resolution is well below a millisecond.
TDateTime Now();

// The per-user local application-data folder as the system reports it,
// without a trailing delimiter (empty when the system reports none), and the
// full path of the program file.
std::string LocalAppDataFolder();
std::string ProgramFilePath();
constexpr char PathDelimiter =
#if defined(_WIN32)
    '\\';
#else
    '/';
#endif

// Whole-file access for the settings file. ReadFileText returns false when the
// file cannot be read (a missing file among them). ReplaceFileText writes the
// text to a temporary file beside the target, flushes it and renames it over
// the target, so the target is always either the old or the new file; it
// returns false, with the target untouched, when any step fails.
bool ReadFileText(const std::string& Path, std::string& Text);
bool ReplaceFileText(const std::string& Path, const std::string& Text);
// Whether a file is there at all: a file that exists but cannot be read (held
// by another program) is not a missing one.
bool FileExists(const std::string& Path);

// Hands every MIDI notice that has been posted to a notice window of this
// thread to its handler, in posting order. The Windows backend has nothing to
// do here (the thread's message loop delivers the notices); the simulated
// backend delivers its queue. Whoever pumps window messages calls it too.
void DeliverPendingNotices();

}  // namespace platform
