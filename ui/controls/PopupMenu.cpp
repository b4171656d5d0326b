#include "ui/controls/PopupMenu.h"

namespace {

// Command numbers of menu items, apart from every control identifier and
// from IDOK and IDCANCEL; unique across all menus of the program.
UINT NextCommand = 40000;

}  // namespace

std::string TShortCut::Text() const {
  if (Key == 0) return {};
  std::string text = Ctrl ? "Ctrl+" : "";
  if (Key >= VK_F1 && Key <= VK_F24)
    text.append("F").append(std::to_string(Key - VK_F1 + 1));
  else if (Key == VK_SPACE)
    text.append("Space");
  else
    text.push_back(static_cast<char>(Key));
  return text;
}

TMenuItem::TMenuItem(HMENU Menu, UINT Command, std::string Caption, TShortCut ShortCut)
    : FMenu(Menu), FCommand(Command), FCaption(std::move(Caption)), FShortCut(ShortCut) {}

void TMenuItem::SetEnabled(bool Enable) {
  FEnabled = Enable;
  EnableMenuItem(FMenu, FCommand, MF_BYCOMMAND | (Enable ? MF_ENABLED : MF_GRAYED));
}

void TMenuItem::Click() {
  if (FEnabled && OnClick) OnClick(*this);
}

TPopupMenu::TPopupMenu() : FMenu(CreatePopupMenu()) {}

TMenuItem& TPopupMenu::Add(const std::string& Caption, TShortCut ShortCut) {
  const UINT command = NextCommand++;
  std::string text = Caption;
  if (ShortCut.Key) text.append("\t").append(ShortCut.Text());
  AppendMenuA(FMenu.Get(), MF_STRING, command, text.c_str());
  FItems.push_back(std::make_unique<TMenuItem>(FMenu.Get(), command, Caption, ShortCut));
  BuildAccelerators();
  return *FItems.back();
}

void TPopupMenu::AddSeparator() { AppendMenuA(FMenu.Get(), MF_SEPARATOR, 0, nullptr); }

void TPopupMenu::Popup(HWND Owner, POINT At) {
  // The owner must be the foreground window, or the menu would not close
  // when the user clicks elsewhere.
  SetForegroundWindow(Owner);
  TrackPopupMenu(FMenu.Get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, At.x, At.y, 0, Owner, nullptr);
  PostMessageA(Owner, WM_NULL, 0, 0);
}

bool TPopupMenu::Execute(UINT Command) {
  for (auto& item : FItems) {
    if (item->Command() == Command) {
      item->Click();
      return true;
    }
  }
  return false;
}

void TPopupMenu::BuildAccelerators() {
  std::vector<ACCEL> table;
  for (auto& item : FItems) {
    const TShortCut& shortCut = item->ShortCut();
    if (!shortCut.Key) continue;
    ACCEL accel{};
    accel.fVirt = static_cast<BYTE>(FVIRTKEY | (shortCut.Ctrl ? FCONTROL : 0));
    accel.key = shortCut.Key;
    accel.cmd = static_cast<WORD>(item->Command());
    table.push_back(accel);
  }
  FAccelerators.Reset(table.empty() ? nullptr
                                    : CreateAcceleratorTableA(table.data(),
                                                              static_cast<int>(table.size())));
}
