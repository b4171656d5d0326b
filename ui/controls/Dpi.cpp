#include "ui/controls/Dpi.h"

namespace {

using TGetDpiForWindow = UINT(WINAPI*)(HWND);

TGetDpiForWindow GetDpiForWindowFunction() {
  static const auto function = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  return function;
}

}  // namespace

UINT SystemDpi() {
  static const UINT dpi = [] {
    const HDC screen = GetDC(nullptr);
    const int perInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return perInch > 0 ? static_cast<UINT>(perInch) : DesignDpi;
  }();
  return dpi;
}

UINT WindowDpi(HWND Window) {
  if (const auto getDpiForWindow = GetDpiForWindowFunction()) {
    const UINT dpi = getDpiForWindow(Window);
    if (dpi > 0) return dpi;
  }
  return SystemDpi();
}
