// A push button that never takes the keyboard focus (so Tab passes it by
// and a click leaves the focus where it was) and shows a tooltip.
#pragma once

#include <functional>
#include <string>

#include "ui/controls/Control.h"

class TSpeedButton : public TControl {
 public:
  using TNotifyEvent = std::function<void(TSpeedButton& Sender)>;

  explicit TSpeedButton(const TControlArgs& args);

  void Click();
  void SetHint(const std::string& hint);

  TNotifyEvent OnClick;

 protected:
  void Command(WORD code) override;
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& Result) override;
};
