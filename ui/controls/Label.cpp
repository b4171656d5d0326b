#include "ui/controls/Label.h"

#include "ui/controls/Form.h"

namespace {

DWORD AlignmentStyle(TAlignment Alignment) {
  switch (Alignment) {
    case TAlignment::Center: return SS_CENTER;
    case TAlignment::Right: return SS_RIGHT;
    default: return SS_LEFT;
  }
}

// Text is measured on a memory device context like the screen's, made once:
// a window's own context is a round trip to Wine's server to get and
// another to give back, for the same figures.
HDC MeasuringDC() {
  static const TMemoryDCHandle dc(CreateCompatibleDC(nullptr));
  return dc.Get();
}

}  // namespace

// The size of the text in the font, one pixel wider than its advance
// widths: the last glyph's anti-aliased edge may stand past them and would
// be cut off. An empty text is as high as a line.
SIZE TextSize(const std::string& Text, HFONT Font) {
  const HDC dc = MeasuringDC();
  TSelectObject selected(dc, Font ? static_cast<HGDIOBJ>(Font) : GetStockObject(SYSTEM_FONT));
  RECT r{0, 0, 0, 0};
  if (Text.empty()) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    return {0, metrics.tmHeight};
  }
  DrawTextA(dc, Text.c_str(), static_cast<int>(Text.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
  return {r.right + 1, r.bottom};
}

namespace {

// A label that sizes itself is created at the size of its text in the
// form's font, so that it need not be resized right after.
TControlArgs SizedToText(const TLabelArgs& Args) {
  TControlArgs sized = Args.Control;
  if (Args.AutoSize && sized.Parent.Form) {
    const SIZE size = TextSize(sized.Caption, sized.Parent.Form->FontHandle());
    sized.Bounds.Width = sized.Parent.Form->Unscale(size.cx);
    sized.Bounds.Height = sized.Parent.Form->Unscale(size.cy);
  }
  return sized;
}

}  // namespace

TLabel::TLabel(const TLabelArgs& Args)
    : TControl(SizedToText(Args), {"STATIC", WS_VISIBLE | SS_NOTIFY | AlignmentStyle(Args.Alignment),
                                   WS_EX_NOPARENTNOTIFY}),
      FAutoSize(Args.AutoSize) {
  FontChanged();
}

void TLabel::SetFontColor(TColor Color) {
  TFont font = Font();
  font.Color = Color;
  SetFont(font);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TLabel::FontChanged() {
  if (!FAutoSize) return;
  const SIZE size =
      TextSize(Caption(), reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0)));
  SetPixelSize(size.cx, size.cy);
}

void TLabel::Command(WORD Code) {
  if (Code == STN_CLICKED && OnClick) OnClick(*this);
}

HBRUSH TLabel::CtlColor(HDC DC) {
  SetTextColor(DC, ColorToRGB(Font().Color));
  SetBkMode(DC, TRANSPARENT);
  return GetSysColorBrush(COLOR_BTNFACE);
}

bool TLabel::HandleMessage(UINT Message, WPARAM, LPARAM, LRESULT& Result) {
  switch (Message) {
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
