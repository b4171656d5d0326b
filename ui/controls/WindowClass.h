// The window classes of Velmora's own windows. Each is registered by the
// initialiser of a function-local static at its first use, which C++ runs
// once even when two threads get there together.
#pragma once

#include <windows.h>

// A class of this module with the arrow cursor and the default window
// procedure; the caller sets what differs.
WNDCLASSEXA BasicWindowClass(const char* Name);
// Registers the class; throws Exception(Failure) when the system refuses.
// Returns the class name, for the static that registers it.
const char* RegisterWindowClass(const WNDCLASSEXA& WindowClass, const char* Failure);
