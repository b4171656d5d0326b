// The user-interface font in the settings file.
#pragma once

#include <string>

#include "ui/controls/Font.h"

// The font the windows are designed with (the main window's until the user
// picks another): MS UI Gothic, 12 pixels, Shift-JIS.
inline TFont DesignedFont() { return TFont("MS UI Gothic", -12, SHIFTJIS_CHARSET); }

// The section that holds the main window's font.
inline constexpr char FontSection[] = "Font";

// The seven stored attributes of a font, read with the font's current values
// as defaults and written in the same order: "Charset", "Color", "Name",
// "Orientation", "Pitch", "Size", "Style".
void LoadFontFromIni(const std::string& Section, TFont& Font);
void SaveFontToIni(const std::string& Section, const TFont& Font);
