// The multimedia types and constants that the MIDI ports, the catalogue and
// the timer use. On Windows they come from the system headers; elsewhere this
// header declares the same names with the same layout, so the portable code
// reads the same on both.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>

#else

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using DWORD_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using CHAR = char;
using LPSTR = char*;
using MMRESULT = UINT;
using MMVERSION = UINT;

#ifndef CALLBACK
#define CALLBACK
#endif

struct HMIDIIN__;
struct HMIDIOUT__;
using HMIDIIN = HMIDIIN__*;
using HMIDIOUT = HMIDIOUT__*;
using LPHMIDIIN = HMIDIIN*;
using LPHMIDIOUT = HMIDIOUT*;

constexpr int MAXPNAMELEN = 32;

struct MIDIHDR {
  LPSTR lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  MIDIHDR* lpNext;
  DWORD_PTR reserved;
  DWORD dwOffset;
  DWORD_PTR dwReserved[8];
};
using LPMIDIHDR = MIDIHDR*;

struct MIDIINCAPSA {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  CHAR szPname[MAXPNAMELEN];
  DWORD dwSupport;
};

struct MIDIOUTCAPSA {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  CHAR szPname[MAXPNAMELEN];
  WORD wTechnology;
  WORD wVoices;
  WORD wNotes;
  WORD wChannelMask;
  DWORD dwSupport;
};

struct TIMECAPS {
  UINT wPeriodMin;
  UINT wPeriodMax;
};
using LPTIMECAPS = TIMECAPS*;

using LPTIMECALLBACK = void(CALLBACK*)(UINT uTimerID, UINT uMsg, DWORD_PTR dwUser,
                                       DWORD_PTR dw1, DWORD_PTR dw2);

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOMAP = 66;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_WINDOW = 0x00010000;

constexpr UINT MM_MIM_OPEN = 0x3C1;
constexpr UINT MM_MIM_CLOSE = 0x3C2;
constexpr UINT MM_MIM_DATA = 0x3C3;
constexpr UINT MM_MIM_LONGDATA = 0x3C4;
constexpr UINT MM_MIM_ERROR = 0x3C5;
constexpr UINT MM_MIM_LONGERROR = 0x3C6;
constexpr UINT MM_MOM_OPEN = 0x3C7;
constexpr UINT MM_MOM_CLOSE = 0x3C8;
constexpr UINT MM_MOM_DONE = 0x3C9;
constexpr UINT MM_MIM_MOREDATA = 0x3CC;

constexpr DWORD MHDR_DONE = 0x00000001;
constexpr DWORD MHDR_PREPARED = 0x00000002;
constexpr DWORD MHDR_INQUEUE = 0x00000004;

constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;
constexpr UINT TIME_CALLBACK_FUNCTION = 0x0000;
constexpr UINT TIME_KILL_SYNCHRONOUS = 0x0100;

constexpr UINT MIDI_MAPPER = static_cast<UINT>(-1);

#endif
