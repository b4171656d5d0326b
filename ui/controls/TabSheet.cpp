#include "ui/controls/TabSheet.h"

#include "platform/win32/WindowClass.h"
#include "ui/controls/Form.h"

namespace {

const char* PageClassName() {
  // The default procedure: the control's subclass does the work.
  static const char* const name = [] {
    WNDCLASSEXA windowClass = BasicWindowClass("VelmoraPage");
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    return RegisterWindowClass(windowClass, "Cannot register the page class.");
  }();
  return name;
}

}  // namespace

TTabSheet::TTabSheet(const TParent& TabControl, const std::string& Caption)
    : TControl({TabControl, {0, 0, 0, 0}, Caption},
               {PageClassName(), WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT | WS_EX_NOPARENTNOTIFY}) {}

int TTabSheet::ClientWidth() const {
  RECT r{};
  GetClientRect(Handle(), &r);
  return Form().Unscale(r.right);
}

int TTabSheet::ClientHeight() const {
  RECT r{};
  GetClientRect(Handle(), &r);
  return Form().Unscale(r.bottom);
}

bool TTabSheet::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  return DispatchNotification(Message, wParam, lParam, Result);
}
