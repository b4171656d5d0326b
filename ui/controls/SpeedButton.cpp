#include "ui/controls/SpeedButton.h"

#include "ui/controls/Form.h"
#include "ui/controls/ToolTip.h"

TSpeedButton::TSpeedButton(const TControlArgs& Args)
    : TControl(Args, {"BUTTON", WS_VISIBLE | BS_PUSHBUTTON, WS_EX_NOPARENTNOTIFY}) {}

void TSpeedButton::Click() {
  if (Enabled() && OnClick) OnClick(*this);
}

void TSpeedButton::SetHint(const std::string& Hint) { Form().ToolTips().Add(Handle(), Hint); }

void TSpeedButton::Command(WORD Code) {
  if (Code == BN_CLICKED) Click();
}

bool TSpeedButton::HandleMessage(UINT Message, WPARAM wParam, LPARAM, LRESULT& Result) {
  if (Message == WM_SETFOCUS) {
    // A push button focuses itself on a click; hand the focus straight back
    // to the control that had it. The button still tracks the mouse, as its
    // capture does not depend on the focus.
    const auto previous = reinterpret_cast<HWND>(wParam);
    if (previous && IsWindow(previous)) ::SetFocus(previous);
    Result = 0;
    return true;
  }
  return false;
}
