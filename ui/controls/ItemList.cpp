#include "ui/controls/ItemList.h"

#include <imm.h>

TItemList::TItemList(const TControlArgs& Args, const TWindowClass& WindowClass,
                     const TItemMessages& Messages)
    : TControl(Args, WindowClass), FMessages(Messages) {
  ImmAssociateContext(Handle(), nullptr);  // no input method in a list of names
}

void TItemList::SetItems(const std::vector<std::string>& Items) {
  // Drawing is held back only on screen: a hidden list (every list while the
  // windows are built) is painted whole when it is shown.
  const bool onScreen = IsWindowVisible(Handle()) != FALSE;
  if (onScreen) SendMessageA(Handle(), WM_SETREDRAW, FALSE, 0);
  SendMessageA(Handle(), FMessages.ResetContent, 0, 0);
  for (const std::string& item : Items)
    SendMessageA(Handle(), FMessages.AddString, 0, reinterpret_cast<LPARAM>(item.c_str()));
  if (!onScreen) return;
  SendMessageA(Handle(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(Handle(), nullptr, TRUE);
}

std::vector<std::string> TItemList::Items() const {
  std::vector<std::string> items;
  const int count = ItemCount();
  for (int i = 0; i < count; ++i) {
    const auto length = SendMessageA(Handle(), FMessages.GetTextLength, static_cast<WPARAM>(i), 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(Handle(), FMessages.GetText, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    items.push_back(std::move(text));
  }
  return items;
}

int TItemList::ItemCount() const { return static_cast<int>(SendMessageA(Handle(), FMessages.GetCount, 0, 0)); }

int TItemList::ItemIndex() const {
  return static_cast<int>(SendMessageA(Handle(), FMessages.GetSelection, 0, 0));
}

void TItemList::SetItemIndex(int Index) {
  if (Index < 0 || Index >= ItemCount()) Index = -1;
  SendMessageA(Handle(), FMessages.SetSelection, static_cast<WPARAM>(Index), 0);
}

void TItemList::Command(WORD Code) {
  if (Code == FMessages.SelectionChange) SelectionChanged();
}

HBRUSH TItemList::CtlColor(HDC DC) {
  SetTextColor(DC, ColorToRGB(Font().Color));
  SetBkColor(DC, GetSysColor(COLOR_WINDOW));
  return GetSysColorBrush(COLOR_WINDOW);
}
