// What a drop-down list and a list box share: a list of names, at most one
// of them selected. Each kind says which of the system's messages it takes.
#pragma once

#include <string>
#include <vector>

#include "ui/controls/Control.h"

class TItemList : public TControl {
 public:
  // Replaces the entries; nothing is selected afterwards.
  void SetItems(const std::vector<std::string>& Items);
  std::vector<std::string> Items() const;
  int ItemCount() const;
  int ItemIndex() const;
  // -1, or an index the list does not hold, selects nothing.
  void SetItemIndex(int Index);

 protected:
  // The messages of one kind of list (CB_* or LB_*).
  struct TItemMessages {
    UINT ResetContent;
    UINT AddString;
    UINT GetTextLength;
    UINT GetText;
    UINT GetCount;
    UINT GetSelection;
    UINT SetSelection;
    WORD SelectionChange;  // the notification code of the user's choice
  };
  TItemList(const TControlArgs& Args, const TWindowClass& WindowClass, const TItemMessages& Messages);

  // The user chose an entry (mouse or keys). Selecting one from the program
  // sends no notification, so this is always the user's doing.
  virtual void SelectionChanged() = 0;
  void Command(WORD Code) override;
  HBRUSH CtlColor(HDC DC) override;

 private:
  TItemMessages FMessages;
};
