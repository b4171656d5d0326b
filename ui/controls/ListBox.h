// A list of names with a single selection. OnClick runs when the user
// selects an entry (mouse or keys), never when the program selects one.
#pragma once

#include <functional>

#include "ui/controls/ItemList.h"

class TListBox : public TItemList {
 public:
  using TNotifyEvent = std::function<void(TListBox& Sender)>;

  explicit TListBox(const TControlArgs& Args);

  TNotifyEvent OnClick;

 protected:
  void SelectionChanged() override {
    if (OnClick) OnClick(*this);
  }
};
