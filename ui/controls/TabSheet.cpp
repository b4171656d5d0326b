#include "ui/controls/TabSheet.h"

#include "engine/Exceptions.h"

namespace {

const char* PageClassName() {
  static const char name[] = "VelmoraPage";
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;  // the control's subclass does the work
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    if (!RegisterClassExA(&windowClass)) throw Exception("Cannot register the page class.");
    registered = true;
  }
  return name;
}

}  // namespace

TTabSheet::TTabSheet(const TParent& tabControl, const std::string& caption)
    : TControl({tabControl, {0, 0, 0, 0}, caption},
               {PageClassName(), WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT | WS_EX_NOPARENTNOTIFY}) {}

int TTabSheet::ClientWidth() const {
  RECT r{};
  GetClientRect(Handle(), &r);
  return r.right;
}

int TTabSheet::ClientHeight() const {
  RECT r{};
  GetClientRect(Handle(), &r);
  return r.bottom;
}

bool TTabSheet::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  return DispatchNotification(message, wParam, lParam, Result);
}
