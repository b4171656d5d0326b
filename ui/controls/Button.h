// A push button. A click runs OnClick; a button with a modal result then
// ends the modal showing of its form with that result.
#pragma once

#include <functional>

#include "ui/controls/Control.h"

class TButton : public TControl {
 public:
  using TNotifyEvent = std::function<void(TButton& Sender)>;

  explicit TButton(const TControlArgs& Args);

  void Click();  // as the user's click: does nothing while disabled
  void SetDefaultLook(bool IsDefault);

  int ModalResult = 0;
  TNotifyEvent OnClick;

 protected:
  void Command(WORD Code) override;
};
