#include "ui/controls/FontDialog.h"

#include <commdlg.h>

bool TFontDialog::Execute(HWND owner) {
  LOGFONTA logFont = Font.ToLogFont();
  CHOOSEFONTA choose{};
  choose.lStructSize = sizeof choose;
  choose.hwndOwner = owner;
  choose.lpLogFont = &logFont;
  choose.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
  const COLORREF shown = ColorToRGB(Font.Color);
  choose.rgbColors = shown;
  if (!ChooseFontA(&choose)) return false;
  // A colour left as it was keeps its symbolic value, so the window-text
  // colour stays the system's and follows the user's colour scheme.
  const TColor color = choose.rgbColors == shown ? Font.Color : static_cast<TColor>(choose.rgbColors);
  Font = TFont::FromLogFont(logFont, color);
  return true;
}
