// A single-line edit. OnChange runs on every change of the text, whether the
// user typed it or the program set it. Without AutoSelect the text is not
// selected as a whole when the edit gets the focus.
#pragma once

#include <functional>
#include <string>

#include "ui/controls/Control.h"

struct TEditArgs {
  TControlArgs Control;
  bool AutoSelect = true;
  bool InputMethod = true;
};

class TEdit : public TControl {
 public:
  using TNotifyEvent = std::function<void(TEdit& Sender)>;

  explicit TEdit(const TEditArgs& Args);

  std::string Text() const { return Caption(); }
  // Setting the text it already holds changes nothing and runs no OnChange.
  void SetText(const std::string& Text);
  int SelStart() const;
  void SetSelStart(int Position);

  TNotifyEvent OnChange;

 protected:
  void Command(WORD Code) override;
  HBRUSH CtlColor(HDC DC) override;
  bool HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result) override;

 private:
  bool FAutoSelect;
};
