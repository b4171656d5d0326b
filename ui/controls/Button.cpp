#include "ui/controls/Button.h"

#include "ui/controls/Form.h"

TButton::TButton(const TControlArgs& Args)
    : TControl(Args, {"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, WS_EX_NOPARENTNOTIFY}) {}

void TButton::Click() {
  if (!Enabled()) return;
  if (OnClick) OnClick(*this);
  if (ModalResult != 0 && Form().Modal()) Form().SetModalResult(ModalResult);
}

void TButton::SetDefaultLook(bool IsDefault) {
  SendMessageA(Handle(), BM_SETSTYLE, IsDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Command(WORD Code) {
  if (Code == BN_CLICKED) Click();
}
