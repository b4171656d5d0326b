// A list of names with a single selection. OnClick runs when the user
// selects an entry (mouse or keys), never when the program selects one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/controls/Control.h"

class TListBox : public TControl {
 public:
  using TNotifyEvent = std::function<void(TListBox& Sender)>;

  explicit TListBox(const TControlArgs& args);

  // Replaces the entries; nothing is selected afterwards.
  void SetItems(const std::vector<std::string>& items);
  std::vector<std::string> Items() const;
  int ItemCount() const;
  int ItemIndex() const;
  void SetItemIndex(int index);  // -1: no selection

  TNotifyEvent OnClick;

 protected:
  void Command(WORD code) override;
  HBRUSH CtlColor(HDC dc) override;
};
