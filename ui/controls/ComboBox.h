// A drop-down list: the user can only pick one of its entries. OnChange runs
// on the user's choice only; selecting an entry from the program, or
// replacing the entries, never runs it. Its height follows its font.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/controls/Control.h"

class TComboBox : public TControl {
 public:
  using TNotifyEvent = std::function<void(TComboBox& Sender)>;

  explicit TComboBox(const TControlArgs& args);

  // Replaces the entries; nothing is selected afterwards.
  void SetItems(const std::vector<std::string>& items);
  std::vector<std::string> Items() const;
  int ItemCount() const;
  int ItemIndex() const;
  // -1, or an index the list does not hold, selects nothing.
  void SetItemIndex(int index);
  std::string Text() const;

  TNotifyEvent OnChange;

 protected:
  void Command(WORD code) override;
  HBRUSH CtlColor(HDC dc) override;
};
