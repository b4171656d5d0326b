// The value of a user-interface font: the seven attributes the settings file
// stores, plus the pixel height they stand for. Converted to and from the
// system's LOGFONT; the colour is kept as given (a system colour stays
// symbolic) and only resolved when painting.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "ui/controls/Dpi.h"

#include "ui/controls/Color.h"

enum TFontStyle : std::uint8_t {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};

enum TFontPitch : std::uint8_t {
  fpDefault = 0,
  fpVariable = 1,
  fpFixed = 2,
};

class TFont {
 public:
  // The layout is designed at 96 dots per inch and never scaled, so points
  // and pixels convert at that density whatever the screen reports.
  static constexpr int PixelsPerInch = 96;

  TFont() = default;
  TFont(std::string FaceName, std::int32_t PixelHeight, std::uint8_t CharacterSet = DEFAULT_CHARSET,
        TColor TextColor = clWindowText, std::uint8_t FontStyle = 0);

  // Negative: character height in pixels; positive: cell height.
  std::int32_t Height = -11;
  std::uint8_t Charset = DEFAULT_CHARSET;
  TColor Color = clWindowText;
  std::string Name = "Tahoma";
  std::int32_t Orientation = 0;  // tenths of a degree
  std::uint8_t Pitch = fpDefault;
  std::uint8_t Style = 0;  // TFontStyle bits

  std::int32_t Size() const;  // points
  void SetSize(std::int32_t Points);

  LOGFONTA ToLogFont() const;
  // Colour is not part of a LOGFONT; it is passed beside it.
  static TFont FromLogFont(const LOGFONTA& LogFont, TColor Color);

  bool operator==(const TFont&) const = default;
};

// A font handle for the value. When the face is not installed the system's
// font mapper would pick whatever matches the character set (under Wine a
// missing "MS UI Gothic" with Shift-JIS turns into whatever face claims that
// character set), so a missing face is replaced by an installed face of the
// same kind (sans serif, serif or fixed pitch) with the default character
// set. The value itself keeps the face the user chose.
// The height, in design units, is scaled to dpi.
HFONT CreateFontHandle(const TFont& Font, UINT Dpi = DesignDpi);
// The face CreateFontHandle uses for the value.
std::string EffectiveFaceName(const TFont& Font);
bool FontFaceInstalled(const std::string& Name);
