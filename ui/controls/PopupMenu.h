// A context menu with keyboard shortcuts. The shortcuts are an accelerator
// table that the message loop translates for the form that owns the menu,
// whichever of its controls has the focus; a disabled item's shortcut does
// nothing. No accelerator letters are added to the captions.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/win32/Handle.h"

struct TShortCut {
  WORD Key = 0;  // virtual key; 0 for none
  bool Ctrl = false;
  std::string Text() const;
};

// Ctrl and a key: 'A' to 'Z' name their letter keys.
inline TShortCut CtrlKey(WORD Key) { return {.Key = Key, .Ctrl = true}; }

class TMenuItem {
 public:
  using TNotifyEvent = std::function<void(TMenuItem& Sender)>;

  TMenuItem(HMENU Menu, UINT Command, std::string Caption, TShortCut ShortCut);

  UINT Command() const { return FCommand; }
  const std::string& Caption() const { return FCaption; }
  const TShortCut& ShortCut() const { return FShortCut; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Enable);
  void Click();  // as the user's choice: does nothing while disabled

  TNotifyEvent OnClick;

 private:
  HMENU FMenu;
  UINT FCommand;
  std::string FCaption;
  TShortCut FShortCut;
  bool FEnabled = true;
};

class TPopupMenu {
 public:
  TPopupMenu();

  TMenuItem& Add(const std::string& Caption, TShortCut ShortCut = {});
  void AddSeparator();

  HMENU Handle() const { return FMenu.Get(); }
  HACCEL Accelerators() const { return FAccelerators.Get(); }
  const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return FItems; }
  // Shows the menu at a screen point; the choice comes back as a command.
  void Popup(HWND Owner, POINT At);
  // Runs the item with this command number; false when there is none.
  bool Execute(UINT Command);

 private:
  void BuildAccelerators();

  TMenuHandle FMenu;
  TAcceleratorHandle FAccelerators;
  std::vector<std::unique_ptr<TMenuItem>> FItems;
};
