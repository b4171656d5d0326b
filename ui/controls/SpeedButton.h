// A push button that never takes the keyboard focus (so Tab passes it by
// and a click leaves the focus where it was) and shows a tooltip.
#pragma once

#include <functional>
#include <string>

#include "ui/controls/Control.h"

class TSpeedButton : public TControl {
 public:
  using TNotifyEvent = std::function<void(TSpeedButton& Sender)>;

  explicit TSpeedButton(const TControlArgs& Args);

  void Click();
  void SetHint(const std::string& Hint);

  TNotifyEvent OnClick;

 protected:
  void Command(WORD Code) override;
  bool HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result) override;
};
