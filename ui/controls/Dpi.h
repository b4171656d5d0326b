// Dots per inch. Every window is designed at DesignDpi, in pixels of that
// density ("design units"), and shown in the pixels of the monitor it is on:
// the control layer scales bounds and fonts, so the forms' layouts and
// stored positions stay in design units.
#pragma once

#include <windows.h>

inline constexpr UINT DesignDpi = 96;

// The density a window is shown at: its monitor's (GetDpiForWindow, from
// Windows 10 1607 on), or else the system's. Looked up at run time, so that
// Windows 7 and 8.1 start as well.
UINT WindowDpi(HWND Window);
// The system's density (the screen's logical pixels per inch).
UINT SystemDpi();

inline int ScaleToDpi(int DesignUnits, UINT Dpi) { return MulDiv(DesignUnits, static_cast<int>(Dpi), DesignDpi); }
inline int ScaleFromDpi(int Pixels, UINT Dpi) { return MulDiv(Pixels, DesignDpi, static_cast<int>(Dpi)); }
