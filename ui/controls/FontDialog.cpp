#include "ui/controls/FontDialog.h"

#include <commdlg.h>

#include "platform/win32/Handle.h"

namespace {

// The chooser's library is loaded when the chooser is first opened, not
// with the program: loading it (and what it pulls in) would lengthen every
// start for a dialog most starts never open. Kept until the program ends.
decltype(&ChooseFontA) ChooseFontFunction() {
  static const TModuleHandle library(LoadLibraryA("comdlg32.dll"));
  static const auto function = reinterpret_cast<decltype(&ChooseFontA)>(
      library ? reinterpret_cast<void*>(GetProcAddress(library.Get(), "ChooseFontA")) : nullptr);
  return function;
}

}  // namespace

bool TFontDialog::Execute(HWND Owner) {
  const auto chooseFont = ChooseFontFunction();
  if (!chooseFont) return false;
  // The chooser speaks in the screen's pixels, the font in design units.
  const UINT dpi = WindowDpi(Owner);
  LOGFONTA logFont = Font.ToLogFont();
  logFont.lfHeight = ScaleToDpi(logFont.lfHeight, dpi);
  CHOOSEFONTA choose{};
  choose.lStructSize = sizeof choose;
  choose.hwndOwner = Owner;
  choose.lpLogFont = &logFont;
  choose.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
  const COLORREF shown = ColorToRGB(Font.Color);
  choose.rgbColors = shown;
  if (!chooseFont(&choose)) return false;
  // A colour left as it was keeps its symbolic value, so the window-text
  // colour stays the system's and follows the user's colour scheme.
  const TColor color = choose.rgbColors == shown ? Font.Color : static_cast<TColor>(choose.rgbColors);
  logFont.lfHeight = ScaleFromDpi(logFont.lfHeight, dpi);
  Font = TFont::FromLogFont(logFont, color);
  return true;
}
