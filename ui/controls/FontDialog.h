// The system's standard font chooser, offering the font's effects
// (underline, strike-out, colour).
#pragma once

#include <windows.h>

#include "ui/controls/Font.h"

class TFontDialog {
 public:
  // Shows the chooser modally on Font; true when the user confirmed it, and
  // Font is then the chosen font.
  bool Execute(HWND Owner);

  TFont Font;
};
