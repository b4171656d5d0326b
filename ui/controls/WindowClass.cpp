#include "ui/controls/WindowClass.h"

#include "engine/Exceptions.h"

WNDCLASSEXA BasicWindowClass(const char* Name) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = Name;
  return windowClass;
}

const char* RegisterWindowClass(const WNDCLASSEXA& WindowClass, const char* Failure) {
  if (!RegisterClassExA(&WindowClass)) throw Exception(Failure);
  return WindowClass.lpszClassName;
}
