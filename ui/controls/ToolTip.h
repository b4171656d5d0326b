// The tooltip window of one form: a text shown when the mouse rests on one
// of its tools.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "platform/win32/Handle.h"

class TToolTip {
 public:
  explicit TToolTip(HWND Owner) : FOwner(Owner) {}
  // Adds the tool, or gives a tool added before its new text.
  void Add(HWND Tool, const std::string& Text);
  // Replaces the tool's tip (an empty text removes it).
  void Set(HWND Tool, const std::string& Text);
  // The form is about to be shown. The tooltip window is made then, not
  // with the form: a top-level window costs a round trip to the display,
  // and a hidden form shows no tips.
  void FormShowing();

 private:
  void AddToWindow(HWND Tool, const std::string& Text);

  HWND FOwner;
  TWindowHandle FHandle;
  std::vector<std::pair<HWND, std::string>> FWaiting;  // tools added before the window was made
  std::vector<HWND> FAdded;                            // tools the window has
};
