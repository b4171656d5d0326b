// Where a control is put: the window that parents it, the point of that
// window's client area that the control's coordinates are measured from, and
// the form it belongs to. A group box lends its parent's window with its own
// position as the origin, so the controls inside it are its siblings (which
// keeps every notification going to the form and the tab order in creation
// order) while their coordinates stay those of the group box.
#pragma once

#include <windows.h>

class TForm;

struct TParent {
  HWND Window = nullptr;
  POINT Origin{0, 0};
  TForm* Form = nullptr;
};
