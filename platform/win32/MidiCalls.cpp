// The MIDI calls of the platform seam: each one is the winmm call of the
// same name, with the same arguments and result.
#include "platform/Platform.h"

namespace platform {

UINT midiInGetNumDevs() { return ::midiInGetNumDevs(); }

MMRESULT midiInGetDevCapsA(UINT_PTR DeviceId, MIDIINCAPSA* Caps, UINT CapsSize) {
  return ::midiInGetDevCapsA(DeviceId, Caps, CapsSize);
}

MMRESULT midiInOpen(HMIDIIN* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD_PTR Instance,
                    DWORD Flags) {
  return ::midiInOpen(Handle, DeviceId, Callback, Instance, Flags);
}

MMRESULT midiInPrepareHeader(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize) {
  return ::midiInPrepareHeader(Handle, Header, HeaderSize);
}

MMRESULT midiInUnprepareHeader(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize) {
  return ::midiInUnprepareHeader(Handle, Header, HeaderSize);
}

MMRESULT midiInAddBuffer(HMIDIIN Handle, MIDIHDR* Header, UINT HeaderSize) {
  return ::midiInAddBuffer(Handle, Header, HeaderSize);
}

MMRESULT midiInStart(HMIDIIN Handle) { return ::midiInStart(Handle); }
MMRESULT midiInStop(HMIDIIN Handle) { return ::midiInStop(Handle); }
MMRESULT midiInReset(HMIDIIN Handle) { return ::midiInReset(Handle); }
MMRESULT midiInClose(HMIDIIN Handle) { return ::midiInClose(Handle); }

UINT midiOutGetNumDevs() { return ::midiOutGetNumDevs(); }

MMRESULT midiOutGetDevCapsA(UINT_PTR DeviceId, MIDIOUTCAPSA* Caps, UINT CapsSize) {
  return ::midiOutGetDevCapsA(DeviceId, Caps, CapsSize);
}

MMRESULT midiOutOpen(HMIDIOUT* Handle, UINT DeviceId, DWORD_PTR Callback, DWORD_PTR Instance,
                     DWORD Flags) {
  return ::midiOutOpen(Handle, DeviceId, Callback, Instance, Flags);
}

MMRESULT midiOutShortMsg(HMIDIOUT Handle, DWORD Message) { return ::midiOutShortMsg(Handle, Message); }

MMRESULT midiOutPrepareHeader(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize) {
  return ::midiOutPrepareHeader(Handle, Header, HeaderSize);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize) {
  return ::midiOutUnprepareHeader(Handle, Header, HeaderSize);
}

MMRESULT midiOutLongMsg(HMIDIOUT Handle, MIDIHDR* Header, UINT HeaderSize) {
  return ::midiOutLongMsg(Handle, Header, HeaderSize);
}

MMRESULT midiOutReset(HMIDIOUT Handle) { return ::midiOutReset(Handle); }
MMRESULT midiOutClose(HMIDIOUT Handle) { return ::midiOutClose(Handle); }

}  // namespace platform
