// The window classes of Velmora's own windows. Each is registered by the
// initialiser of a function-local static at its first use, which C++ runs
// once even when two threads get there together. Inline, so that the
// windows' code can use it with either platform backend linked.
#pragma once

#include <stdexcept>

#include <windows.h>

// A class of this module with the arrow cursor and the default window
// procedure; the caller sets what differs.
inline WNDCLASSEXA BasicWindowClass(const char* Name) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = Name;
  return windowClass;
}

// Registers the class; throws std::runtime_error(Failure) when the system
// refuses. Returns the class name, for the static that registers it.
inline const char* RegisterWindowClass(const WNDCLASSEXA& WindowClass, const char* Failure) {
  if (!RegisterClassExA(&WindowClass)) throw std::runtime_error(Failure);
  return WindowClass.lpszClassName;
}
