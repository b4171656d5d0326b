#include "ui/controls/Edit.h"

#include <imm.h>

TEdit::TEdit(const TEditArgs& Args)
    : TControl(Args.Control, {"EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT,
                              WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY}),
      FAutoSelect(Args.AutoSelect) {
  if (!Args.InputMethod) ImmAssociateContext(Handle(), nullptr);
}

void TEdit::SetText(const std::string& Text) { SetCaption(Text); }

int TEdit::SelStart() const {
  DWORD start = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<int>(start);
}

void TEdit::SetSelStart(int Position) {
  SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(Position), Position);
}

void TEdit::Command(WORD Code) {
  if (Code == EN_CHANGE && OnChange) OnChange(*this);
}

HBRUSH TEdit::CtlColor(HDC DC) {
  SetTextColor(DC, ColorToRGB(Font().Color));
  SetBkColor(DC, GetSysColor(COLOR_WINDOW));
  return GetSysColorBrush(COLOR_WINDOW);
}

bool TEdit::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  if (Message == WM_GETDLGCODE && !FAutoSelect) {
    // The dialog keys select an edit's whole text on Tab when it says it
    // takes a selection; this one keeps its caret.
    Result = DefaultMessage(Message, wParam, lParam) & ~static_cast<LRESULT>(DLGC_HASSETSEL);
    return true;
  }
  return false;
}
