// Saves what a window shows on the screen as a PNG file, so that a person
// can look at the windows as the tests left them.
#pragma once

#include <string>

#include <windows.h>

// The folder named by VELMORA_SCREENSHOTS, created when missing; empty when
// the variable is not set (no screenshots are taken then).
std::string ScreenshotFolder();
// Writes <folder>/<name>.png; false when it could not be taken or written.
// The whole window, frame included, or only its client area.
bool SaveScreenshot(HWND Window, const std::string& Name, bool ClientOnly = false);
