#include "ui/controls/Edit.h"

#include <imm.h>

TEdit::TEdit(const TEditArgs& args)
    : TControl(args.Control, {"EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT,
                              WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY}),
      FAutoSelect(args.AutoSelect) {
  if (!args.InputMethod) ImmAssociateContext(Handle(), nullptr);
}

void TEdit::SetText(const std::string& text) { SetCaption(text); }

int TEdit::SelStart() const {
  DWORD start = 0;
  SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<int>(start);
}

void TEdit::SetSelStart(int position) {
  SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(position), position);
}

void TEdit::Command(WORD code) {
  if (code == EN_CHANGE && OnChange) OnChange(*this);
}

HBRUSH TEdit::CtlColor(HDC dc) {
  SetTextColor(dc, ColorToRGB(Font().Color));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return GetSysColorBrush(COLOR_WINDOW);
}

bool TEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  if (message == WM_GETDLGCODE && !FAutoSelect) {
    // The dialog keys select an edit's whole text on Tab when it says it
    // takes a selection; this one keeps its caret.
    Result = DefaultMessage(message, wParam, lParam) & ~static_cast<LRESULT>(DLGC_HASSETSEL);
    return true;
  }
  return false;
}
