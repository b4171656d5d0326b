// The MIDI calls of the platform seam: each one is the winmm call of the
// same name, with the same arguments and result.
#include "platform/Platform.h"

namespace platform {

UINT midiInGetNumDevs() { return ::midiInGetNumDevs(); }

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, MIDIINCAPSA* caps, UINT capsSize) {
  return ::midiInGetDevCapsA(deviceId, caps, capsSize);
}

MMRESULT midiInOpen(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags) {
  return ::midiInOpen(handle, deviceId, callback, instance, flags);
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return ::midiInPrepareHeader(handle, header, headerSize);
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return ::midiInUnprepareHeader(handle, header, headerSize);
}

MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT headerSize) {
  return ::midiInAddBuffer(handle, header, headerSize);
}

MMRESULT midiInStart(HMIDIIN handle) { return ::midiInStart(handle); }
MMRESULT midiInStop(HMIDIIN handle) { return ::midiInStop(handle); }
MMRESULT midiInReset(HMIDIIN handle) { return ::midiInReset(handle); }
MMRESULT midiInClose(HMIDIIN handle) { return ::midiInClose(handle); }

UINT midiOutGetNumDevs() { return ::midiOutGetNumDevs(); }

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, MIDIOUTCAPSA* caps, UINT capsSize) {
  return ::midiOutGetDevCapsA(deviceId, caps, capsSize);
}

MMRESULT midiOutOpen(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
  return ::midiOutOpen(handle, deviceId, callback, instance, flags);
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) { return ::midiOutShortMsg(handle, message); }

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return ::midiOutPrepareHeader(handle, header, headerSize);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return ::midiOutUnprepareHeader(handle, header, headerSize);
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT headerSize) {
  return ::midiOutLongMsg(handle, header, headerSize);
}

MMRESULT midiOutReset(HMIDIOUT handle) { return ::midiOutReset(handle); }
MMRESULT midiOutClose(HMIDIOUT handle) { return ::midiOutClose(handle); }

}  // namespace platform
