// The device handles that this program's ports hold open right now. A close
// the driver refused is tried again later, but Wine frees such a handle
// anyway and hands the same value to the next open: before a retry, a port
// asks whether another port now holds that value, and if so forgets it.
#pragma once

void NoteHandleOpened(const void* handle);
void NoteHandleReleased(const void* handle);
bool HandleHeldByAPort(const void* handle);
