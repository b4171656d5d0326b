#include "ui/controls/Font.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "platform/win32/Handle.h"

TFont::TFont(std::string name, std::int32_t height, std::uint8_t charset, TColor color,
             std::uint8_t style)
    : Height(height), Charset(charset), Color(color), Name(std::move(name)), Style(style) {}

std::int32_t TFont::Size() const { return -MulDiv(Height, 72, PixelsPerInch); }

void TFont::SetSize(std::int32_t points) { Height = -MulDiv(points, PixelsPerInch, 72); }

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

TFont TFont::FromLogFont(const LOGFONTA& lf, TColor color) {
  TFont font;
  font.Height = lf.lfHeight;
  font.Charset = lf.lfCharSet;
  font.Color = color;
  font.Name = lf.lfFaceName;
  font.Orientation = lf.lfEscapement;
  switch (lf.lfPitchAndFamily & 0x3) {
    case VARIABLE_PITCH: font.Pitch = fpVariable; break;
    case FIXED_PITCH: font.Pitch = fpFixed; break;
    default: font.Pitch = fpDefault; break;
  }
  font.Style = 0;
  if (lf.lfWeight >= FW_BOLD) font.Style |= fsBold;
  if (lf.lfItalic) font.Style |= fsItalic;
  if (lf.lfUnderline) font.Style |= fsUnderline;
  if (lf.lfStrikeOut) font.Style |= fsStrikeOut;
  return font;
}

namespace {

int CALLBACK FaceFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

}  // namespace

bool FontFaceInstalled(const std::string& name) {
  if (name.empty() || name.size() >= LF_FACESIZE) return false;
  LOGFONTA query{};
  query.lfCharSet = DEFAULT_CHARSET;
  std::strncpy(query.lfFaceName, name.c_str(), LF_FACESIZE - 1);
  bool found = false;
  TWindowDC screen(nullptr);
  EnumFontFamiliesExA(screen.Get(), &query, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

namespace {

bool Contains(const std::string& text, const char* part) {
  std::string lower;
  for (char c : text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return lower.find(part) != std::string::npos;
}

// Installed faces of the same kind, the system's own first.
const std::vector<const char*>& ReplacementsFor(const TFont& font) {
  static const std::vector<const char*> serif = {"Times New Roman", "Liberation Serif",
                                                 "DejaVu Serif", "Georgia"};
  static const std::vector<const char*> fixed = {"Courier New", "Liberation Mono",
                                                 "DejaVu Sans Mono", "Lucida Console"};
  static const std::vector<const char*> sans = {"Tahoma", "Segoe UI", "Microsoft Sans Serif",
                                                "Arial", "Liberation Sans", "DejaVu Sans"};
  const std::string& name = font.Name;
  if (font.Pitch == fpFixed || Contains(name, "courier") || Contains(name, "mono") ||
      Contains(name, "console") || Contains(name, "fixed"))
    return fixed;
  if (Contains(name, "times") || Contains(name, "mincho") || Contains(name, "roman") ||
      Contains(name, "georgia") || (Contains(name, "serif") && !Contains(name, "sans")))
    return serif;
  return sans;
}

}  // namespace

std::string EffectiveFaceName(const TFont& font) {
  if (FontFaceInstalled(font.Name)) return font.Name;
  for (const char* face : ReplacementsFor(font))
    if (FontFaceInstalled(face)) return face;
  return "MS Shell Dlg 2";  // the system's own dialog face
}

HFONT CreateFontHandle(const TFont& font, UINT dpi) {
  LOGFONTA lf = font.ToLogFont();
  lf.lfHeight = ScaleToDpi(lf.lfHeight, dpi);
  const std::string face = EffectiveFaceName(font);
  if (face != font.Name) {
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    std::strncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    // The designed character set belongs to the missing face; kept, it would
    // make the mapper prefer any face of that set over the replacement.
    lf.lfCharSet = DEFAULT_CHARSET;
  }
  return CreateFontIndirectA(&lf);
}
