// A check box with its caption beside it, as wide as its text. A click
// toggles it and runs OnClick; setting it from code runs nothing.
#pragma once

#include <functional>

#include "ui/controls/Control.h"

struct TCheckBoxArgs {
  TControlArgs Control;
  bool Checked = false;
};

class TCheckBox : public TControl {
 public:
  using TNotifyEvent = std::function<void(TCheckBox& Sender)>;

  explicit TCheckBox(const TCheckBoxArgs& Args);

  bool Checked() const;
  void SetChecked(bool Checked);
  void Click();  // as the user's click: does nothing while disabled

  TNotifyEvent OnClick;

 protected:
  void Command(WORD Code) override;
  void FontChanged() override;
};
