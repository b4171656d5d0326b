// One page of a page control: a plain window in the tab control's display
// area that parents the page's controls and hands their notifications on.
#pragma once

#include <string>

#include "ui/controls/Control.h"

class TTabSheet : public TControl {
 public:
  TTabSheet(const TParent& TabControl, const std::string& Caption);

  TParent AsParent() { return {Handle(), {0, 0}, &Form()}; }
  int ClientWidth() const;
  int ClientHeight() const;

 protected:
  bool HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result) override;
};
