#include "ui/controls/ListBox.h"

#include <imm.h>

TListBox::TListBox(const TControlArgs& args)
    : TControl(args, {"LISTBOX",
                      WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                      WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY}) {
  ImmAssociateContext(Handle(), nullptr);
}

void TListBox::SetItems(const std::vector<std::string>& items) {
  SendMessageA(Handle(), WM_SETREDRAW, FALSE, 0);
  SendMessageA(Handle(), LB_RESETCONTENT, 0, 0);
  for (const std::string& item : items)
    SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  SendMessageA(Handle(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(Handle(), nullptr, TRUE);
}

std::vector<std::string> TListBox::Items() const {
  std::vector<std::string> items;
  const int count = ItemCount();
  for (int i = 0; i < count; ++i) {
    const auto length = SendMessageA(Handle(), LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(Handle(), LB_GETTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    items.push_back(std::move(text));
  }
  return items;
}

int TListBox::ItemCount() const {
  return static_cast<int>(SendMessageA(Handle(), LB_GETCOUNT, 0, 0));
}

int TListBox::ItemIndex() const {
  return static_cast<int>(SendMessageA(Handle(), LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int index) {
  if (index < 0 || index >= ItemCount()) index = -1;
  SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TListBox::Command(WORD code) {
  // LB_SETCURSEL sends no notification, so this is always the user's doing.
  if (code == LBN_SELCHANGE && OnClick) OnClick(*this);
}

HBRUSH TListBox::CtlColor(HDC dc) {
  SetTextColor(dc, ColorToRGB(Font().Color));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return GetSysColorBrush(COLOR_WINDOW);
}
