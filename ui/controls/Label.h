// A line of static text. As designed it sizes itself to its text in its
// font; a fixed-size label keeps its bounds and aligns its text in them. It
// reports clicks and the mouse entering and leaving it, and can show its
// own mouse pointer.
#pragma once

#include <functional>

#include "ui/controls/Control.h"

// The size of the text in the font, in pixels, one pixel wider than its
// advance widths: the last glyph's anti-aliased edge may stand past them and
// would be cut off. An empty text is as high as a line.
SIZE TextSize(const std::string& Text, HFONT Font);

enum class TAlignment { Left, Center, Right };

struct TLabelArgs {
  TControlArgs Control;
  bool AutoSize = true;
  TAlignment Alignment = TAlignment::Left;
};

class TLabel : public TControl {
 public:
  using TNotifyEvent = std::function<void(TLabel& Sender)>;

  explicit TLabel(const TLabelArgs& Args);

  void SetFontColor(TColor Color);
  void SetCursor(LPCSTR SystemCursor) { FCursor = SystemCursor; }

  TNotifyEvent OnClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Command(WORD Code) override;
  HBRUSH CtlColor(HDC DC) override;
  bool HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result) override;
  void FontChanged() override;

 private:
  bool FAutoSize;
  bool FMouseInside = false;
  LPCSTR FCursor = nullptr;
};
