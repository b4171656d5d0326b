// A drop-down list: the user can only pick one of its entries. OnChange runs
// on the user's choice only; selecting an entry from the program, or
// replacing the entries, never runs it. Its height follows its font.
#pragma once

#include <functional>
#include <string>

#include "ui/controls/ItemList.h"

class TComboBox : public TItemList {
 public:
  using TNotifyEvent = std::function<void(TComboBox& Sender)>;

  explicit TComboBox(const TControlArgs& Args);

  std::string Text() const;

  TNotifyEvent OnChange;

 protected:
  void SelectionChanged() override {
    if (OnChange) OnChange(*this);
  }
};
