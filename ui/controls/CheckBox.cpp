#include "ui/controls/CheckBox.h"

#include <algorithm>

#include "ui/controls/Label.h"

namespace {
// Between the box and its caption, in pixels.
constexpr int BoxGap = 6;
}  // namespace

// A plain (not automatic) check box: the box changes only through Click
// and SetChecked, so the state shown is always the one handled.
TCheckBox::TCheckBox(const TCheckBoxArgs& Args)
    : TControl(Args.Control, {"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX, WS_EX_NOPARENTNOTIFY}) {
  SetChecked(Args.Checked);
  FontChanged();
}

bool TCheckBox::Checked() const { return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool Checked) {
  SendMessageA(Handle(), BM_SETCHECK, Checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::Click() {
  if (!Enabled()) return;
  SetChecked(!Checked());
  if (OnClick) OnClick(*this);
}

void TCheckBox::Command(WORD Code) {
  if (Code == BN_CLICKED) Click();
}

void TCheckBox::FontChanged() {
  const SIZE text = TextSize(Caption(), reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0)));
  const int box = GetSystemMetrics(SM_CXMENUCHECK);
  SetPixelSize(box + BoxGap + text.cx, std::max<int>(box, text.cy));
}
