#include "ui/controls/Font.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "platform/win32/Handle.h"

TFont::TFont(std::string FaceName, std::int32_t PixelHeight, std::uint8_t CharacterSet, TColor TextColor,
             std::uint8_t FontStyle)
    : Height(PixelHeight), Charset(CharacterSet), Color(TextColor), Name(std::move(FaceName)), Style(FontStyle) {}

std::int32_t TFont::Size() const { return -MulDiv(Height, 72, PixelsPerInch); }

void TFont::SetSize(std::int32_t Points) { Height = -MulDiv(Points, PixelsPerInch, 72); }

LOGFONTA TFont::ToLogFont() const {
  LOGFONTA lf{};
  lf.lfHeight = Height;
  lf.lfEscapement = Orientation;
  lf.lfOrientation = Orientation;
  lf.lfWeight = (Style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (Style & fsItalic) ? TRUE : FALSE;
  lf.lfUnderline = (Style & fsUnderline) ? TRUE : FALSE;
  lf.lfStrikeOut = (Style & fsStrikeOut) ? TRUE : FALSE;
  lf.lfCharSet = Charset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  // The stored pitch numbers are not the system's: 1 is variable, 2 fixed.
  switch (Pitch) {
    case fpVariable: lf.lfPitchAndFamily = VARIABLE_PITCH; break;
    case fpFixed: lf.lfPitchAndFamily = FIXED_PITCH; break;
    default: lf.lfPitchAndFamily = DEFAULT_PITCH; break;
  }
  std::strncpy(lf.lfFaceName, Name.c_str(), LF_FACESIZE - 1);
  return lf;
}

TFont TFont::FromLogFont(const LOGFONTA& Lf, TColor Color) {
  TFont font;
  font.Height = Lf.lfHeight;
  font.Charset = Lf.lfCharSet;
  font.Color = Color;
  font.Name = Lf.lfFaceName;
  font.Orientation = Lf.lfEscapement;
  switch (Lf.lfPitchAndFamily & 0x3) {
    case VARIABLE_PITCH: font.Pitch = fpVariable; break;
    case FIXED_PITCH: font.Pitch = fpFixed; break;
    default: font.Pitch = fpDefault; break;
  }
  font.Style = 0;
  if (Lf.lfWeight >= FW_BOLD) font.Style |= fsBold;
  if (Lf.lfItalic) font.Style |= fsItalic;
  if (Lf.lfUnderline) font.Style |= fsUnderline;
  if (Lf.lfStrikeOut) font.Style |= fsStrikeOut;
  return font;
}

namespace {

int CALLBACK FaceFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM Found) {
  *reinterpret_cast<bool*>(Found) = true;
  return 0;  // one is enough
}

}  // namespace

bool FontFaceInstalled(const std::string& Name) {
  if (Name.empty() || Name.size() >= LF_FACESIZE) return false;
  LOGFONTA query{};
  query.lfCharSet = DEFAULT_CHARSET;
  std::strncpy(query.lfFaceName, Name.c_str(), LF_FACESIZE - 1);
  bool found = false;
  TWindowDC screen(nullptr);
  EnumFontFamiliesExA(screen.Get(), &query, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

namespace {

bool Contains(const std::string& Text, const char* Part) {
  std::string lower;
  for (char c : Text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return lower.find(Part) != std::string::npos;
}

// Installed faces of the same kind, the system's own first.
const std::vector<const char*>& ReplacementsFor(const TFont& Font) {
  static const std::vector<const char*> serif = {"Times New Roman", "Liberation Serif",
                                                 "DejaVu Serif", "Georgia"};
  static const std::vector<const char*> fixed = {"Courier New", "Liberation Mono",
                                                 "DejaVu Sans Mono", "Lucida Console"};
  static const std::vector<const char*> sans = {"Tahoma", "Segoe UI", "Microsoft Sans Serif",
                                                "Arial", "Liberation Sans", "DejaVu Sans"};
  const std::string& name = Font.Name;
  if (Font.Pitch == fpFixed || Contains(name, "courier") || Contains(name, "mono") ||
      Contains(name, "console") || Contains(name, "fixed"))
    return fixed;
  if (Contains(name, "times") || Contains(name, "mincho") || Contains(name, "roman") ||
      Contains(name, "georgia") || (Contains(name, "serif") && !Contains(name, "sans")))
    return serif;
  return sans;
}

}  // namespace

std::string EffectiveFaceName(const TFont& Font) {
  if (FontFaceInstalled(Font.Name)) return Font.Name;
  for (const char* face : ReplacementsFor(Font))
    if (FontFaceInstalled(face)) return face;
  return "MS Shell Dlg 2";  // the system's own dialog face
}

HFONT CreateFontHandle(const TFont& Font, UINT Dpi) {
  LOGFONTA lf = Font.ToLogFont();
  lf.lfHeight = ScaleToDpi(lf.lfHeight, Dpi);
  const std::string face = EffectiveFaceName(Font);
  if (face != Font.Name) {
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    std::strncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    // The designed character set belongs to the missing face; kept, it would
    // make the mapper prefer any face of that set over the replacement.
    lf.lfCharSet = DEFAULT_CHARSET;
  }
  return CreateFontIndirectA(&lf);
}
