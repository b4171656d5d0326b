// Disables the thread's visible windows but one for as long as it lives (a
// modal showing), and enables again, at its end, those it disabled.
#pragma once

#include <windows.h>

#include <vector>

class TDisabledWindows {
 public:
  explicit TDisabledWindows(HWND Except) : FExcept(Except) {
    EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
    for (HWND window : FWindows) EnableWindow(window, FALSE);
  }
  ~TDisabledWindows() {
    for (HWND window : FWindows)
      if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  TDisabledWindows(const TDisabledWindows&) = delete;
  TDisabledWindows& operator=(const TDisabledWindows&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND Window, LPARAM Self) {
    auto* me = reinterpret_cast<TDisabledWindows*>(Self);
    if (Window != me->FExcept && IsWindowVisible(Window) && IsWindowEnabled(Window))
      me->FWindows.push_back(Window);
    return TRUE;
  }
  HWND FExcept;
  std::vector<HWND> FWindows;
};
