// A framed group with a caption. The controls inside are placed relative to
// it but are its siblings in the form (see TParent).
#pragma once

#include "ui/controls/Control.h"

class TGroupBox : public TControl {
 public:
  explicit TGroupBox(const TControlArgs& Args);
  TParent AsParent() const;
};
