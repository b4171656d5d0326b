#include "ui/controls/Bevel.h"

TBevel::TBevel(const TControlArgs& args)
    : TControl({args.Parent, {args.Bounds.Left, args.Bounds.Top, args.Bounds.Width, 2}, ""},
               {"STATIC", WS_VISIBLE | SS_ETCHEDHORZ, WS_EX_NOPARENTNOTIFY}) {}
