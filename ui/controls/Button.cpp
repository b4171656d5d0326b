#include "ui/controls/Button.h"

#include "ui/controls/Form.h"

TButton::TButton(const TControlArgs& args)
    : TControl(args, {"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, WS_EX_NOPARENTNOTIFY}) {}

void TButton::Click() {
  if (!Enabled()) return;
  if (OnClick) OnClick(*this);
  if (ModalResult != 0 && Form().Modal()) Form().SetModalResult(ModalResult);
}

void TButton::SetDefaultLook(bool isDefault) {
  SendMessageA(Handle(), BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Command(WORD code) {
  if (code == BN_CLICKED) Click();
}
