// The tooltip window of one form: a text shown when the mouse rests on one
// of its tools.
#pragma once

#include <string>

#include <windows.h>

#include "ui/controls/Handle.h"

class TToolTip {
 public:
  explicit TToolTip(HWND owner);
  void Add(HWND tool, const std::string& text);

 private:
  HWND FOwner;
  TWindowHandle FHandle;
};
