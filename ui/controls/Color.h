// Colours as the settings file stores them: $00BBGGRR for a plain colour, or
// a system-colour value (high byte FF, low byte the COLOR_ index) that stays
// symbolic and is resolved only when painting.
#pragma once

#include <cstdint>

#include <windows.h>

using TColor = std::int32_t;

constexpr TColor SystemColorValue(int ColorIndex) {
  return static_cast<TColor>(0xFF000000u | static_cast<std::uint32_t>(ColorIndex));
}

constexpr TColor clWindowText = SystemColorValue(COLOR_WINDOWTEXT);  // -16777208
constexpr TColor clBtnFace = SystemColorValue(COLOR_BTNFACE);
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;

inline COLORREF ColorToRGB(TColor Color) {
  const auto value = static_cast<std::uint32_t>(Color);
  if ((value & 0xFF000000u) == 0xFF000000u) return GetSysColor(static_cast<int>(value & 0xFFu));
  return static_cast<COLORREF>(value & 0x00FFFFFFu);
}
