#pragma once

// Bounds of a control in pixels, relative to its parent's client area.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};
