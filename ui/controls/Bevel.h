// A horizontal etched line along the top edge of its bounds.
#pragma once

#include "ui/controls/Control.h"

class TBevel : public TControl {
 public:
  explicit TBevel(const TControlArgs& Args);
};
