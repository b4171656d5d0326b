// The device handles that this program's ports hold open right now. A close
// the driver refused is tried again later, but Wine frees such a handle
// anyway and hands the same value to the next open: before a retry, a port
// asks whether another port now holds that value, and if so forgets it.
#pragma once

#include "platform/MmSystem.h"

void NoteHandleOpened(const void* Handle);
void NoteHandleReleased(const void* Handle);
bool HandleHeldByAPort(const void* Handle);

// Closes again a handle whose close was refused with MIDIERR_STILLPLAYING,
// through which the system still holds the device open, and forgets it once
// the system no longer holds it (or gave its value to another port).
template <class THandle>
void CloseUnclosedHandle(THandle& Unclosed, MMRESULT (*Reset)(THandle), MMRESULT (*Close)(THandle)) {
  if (Unclosed == nullptr) return;
  if (HandleHeldByAPort(Unclosed)) {
    Unclosed = nullptr;
    return;
  }
  // The reset makes the device give back what it still holds; its result
  // tells nothing the close does not.
  Reset(Unclosed);
  if (Close(Unclosed) != MIDIERR_STILLPLAYING) Unclosed = nullptr;
}
