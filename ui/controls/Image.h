// A picture: an icon shown at its own size.
#pragma once

#include "ui/controls/Control.h"

class TImage : public TControl {
 public:
  // The icon is shared (loaded from the program's resources); not owned.
  TImage(const TControlArgs& Args, HICON Icon);
};
