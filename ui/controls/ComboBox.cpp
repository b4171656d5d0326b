#include "ui/controls/ComboBox.h"

#include <imm.h>

namespace {

// The height given to the window is that of the dropped-down list; the
// closed box takes its height from the font.
constexpr int DropDownHeight = 200;

}  // namespace

TComboBox::TComboBox(const TControlArgs& args)
    : TControl({args.Parent, {args.Bounds.Left, args.Bounds.Top, args.Bounds.Width, DropDownHeight},
                args.Caption},
               {"COMBOBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                WS_EX_NOPARENTNOTIFY}) {
  ImmAssociateContext(Handle(), nullptr);  // no input method in a list of names
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  // Drawing is held back only on screen: a hidden box (every box while the
  // windows are built) is painted whole when it is shown.
  const bool onScreen = IsWindowVisible(Handle()) != FALSE;
  if (onScreen) SendMessageA(Handle(), WM_SETREDRAW, FALSE, 0);
  SendMessageA(Handle(), CB_RESETCONTENT, 0, 0);
  for (const std::string& item : items)
    SendMessageA(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  if (!onScreen) return;
  SendMessageA(Handle(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(Handle(), nullptr, TRUE);
}

std::vector<std::string> TComboBox::Items() const {
  std::vector<std::string> items;
  const int count = ItemCount();
  for (int i = 0; i < count; ++i) {
    const auto length = SendMessageA(Handle(), CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(Handle(), CB_GETLBTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    items.push_back(std::move(text));
  }
  return items;
}

int TComboBox::ItemCount() const {
  return static_cast<int>(SendMessageA(Handle(), CB_GETCOUNT, 0, 0));
}

int TComboBox::ItemIndex() const {
  return static_cast<int>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int index) {
  if (index < 0 || index >= ItemCount()) index = -1;
  SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string TComboBox::Text() const {
  const int index = ItemIndex();
  if (index < 0) return {};
  return Items()[static_cast<std::size_t>(index)];
}

void TComboBox::Command(WORD code) {
  // CB_SETCURSEL sends no notification, so this is always the user's doing.
  if (code == CBN_SELCHANGE && OnChange) OnChange(*this);
}

HBRUSH TComboBox::CtlColor(HDC dc) {
  SetTextColor(dc, ColorToRGB(Font().Color));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return GetSysColorBrush(COLOR_WINDOW);
}
