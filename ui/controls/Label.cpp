#include "ui/controls/Label.h"

namespace {

DWORD AlignmentStyle(TAlignment alignment) {
  switch (alignment) {
    case TAlignment::Center: return SS_CENTER;
    case TAlignment::Right: return SS_RIGHT;
    default: return SS_LEFT;
  }
}

}  // namespace

TLabel::TLabel(const TLabelArgs& args)
    : TControl(args.Control, {"STATIC", WS_VISIBLE | SS_NOTIFY | AlignmentStyle(args.Alignment),
                              WS_EX_NOPARENTNOTIFY}),
      FAutoSize(args.AutoSize) {
  FontChanged();
}

void TLabel::SetFontColor(TColor color) {
  TFont font = Font();
  font.Color = color;
  SetFont(font);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TLabel::FontChanged() {
  if (!FAutoSize) return;
  const std::string text = Caption();
  TWindowDC dc(Handle());
  const auto font = reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0));
  TSelectObject selected(dc.Get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  RECT r{0, 0, 0, 0};
  if (text.empty()) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc.Get(), &metrics);
    r.bottom = metrics.tmHeight;
  } else {
    DrawTextA(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
  }
  // One pixel more than the advance widths: the last glyph's anti-aliased
  // edge may stand past them and would be cut off.
  SetBounds({Left(), Top(), r.right + (text.empty() ? 0 : 1), r.bottom});
}

void TLabel::Command(WORD code) {
  if (code == STN_CLICKED && OnClick) OnClick(*this);
}

HBRUSH TLabel::CtlColor(HDC dc) {
  SetTextColor(dc, ColorToRGB(Font().Color));
  SetBkMode(dc, TRANSPARENT);
  return GetSysColorBrush(COLOR_BTNFACE);
}

bool TLabel::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& Result) {
  switch (message) {
    case WM_MOUSEMOVE:
      if (!FMouseInside) {
        FMouseInside = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Handle(), 0};
        TrackMouseEvent(&track);
        if (OnMouseEnter) OnMouseEnter(*this);
      }
      return false;
    case WM_MOUSELEAVE:
      FMouseInside = false;
      if (OnMouseLeave) OnMouseLeave(*this);
      return false;
    case WM_SETCURSOR:
      if (FCursor) {
        ::SetCursor(LoadCursorA(nullptr, FCursor));
        Result = TRUE;
        return true;
      }
      return false;
    default:
      return false;
  }
}
