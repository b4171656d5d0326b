#include "ui/controls/Label.h"

#include "ui/controls/Form.h"

namespace {

DWORD AlignmentStyle(TAlignment alignment) {
  switch (alignment) {
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

SIZE TextSize(const std::string& text, HFONT font) {
  const HDC dc = MeasuringDC();
  TSelectObject selected(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  RECT r{0, 0, 0, 0};
  if (text.empty()) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    return {0, metrics.tmHeight};
  }
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
  return {r.right + 1, r.bottom};
}

namespace {

// A label that sizes itself is created at the size of its text in the
// form's font, so that it need not be resized right after.
TControlArgs SizedToText(const TLabelArgs& args) {
  TControlArgs sized = args.Control;
  if (args.AutoSize && sized.Parent.Form) {
    const SIZE size = TextSize(sized.Caption, sized.Parent.Form->FontHandle());
    sized.Bounds.Width = sized.Parent.Form->Unscale(size.cx);
    sized.Bounds.Height = sized.Parent.Form->Unscale(size.cy);
  }
  return sized;
}

}  // namespace

TLabel::TLabel(const TLabelArgs& args)
    : TControl(SizedToText(args), {"STATIC", WS_VISIBLE | SS_NOTIFY | AlignmentStyle(args.Alignment),
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
  const SIZE size =
      TextSize(Caption(), reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0)));
  SetPixelSize(size.cx, size.cy);
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
