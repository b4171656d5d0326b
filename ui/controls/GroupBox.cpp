#include "ui/controls/GroupBox.h"

TGroupBox::TGroupBox(const TControlArgs& Args)
    : TControl(Args, {"BUTTON", WS_VISIBLE | BS_GROUPBOX, WS_EX_NOPARENTNOTIFY}) {}

TParent TGroupBox::AsParent() const {
  TParent parent = Parent();
  parent.Origin.x += Left();
  parent.Origin.y += Top();
  return parent;
}
