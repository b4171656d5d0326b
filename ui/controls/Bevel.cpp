#include "ui/controls/Bevel.h"

TBevel::TBevel(const TControlArgs& Args)
    : TControl({Args.Parent, {Args.Bounds.Left, Args.Bounds.Top, Args.Bounds.Width, 2}, ""},
               {"STATIC", WS_VISIBLE | SS_ETCHEDHORZ, WS_EX_NOPARENTNOTIFY}) {}
