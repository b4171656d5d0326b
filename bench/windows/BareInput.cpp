#include "bench/windows/BareInput.h"

namespace bench {
namespace {
constexpr char WindowClass[] = "VelmoraBenchBareInput";
}

TBareInput::TBareInput(UINT Device, THandler Handler, void* Context) : FHandler(Handler), FContext(Context) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = WindowClass;
  RegisterClassA(&windowClass);  // fails harmlessly once registered
  FWindow = CreateWindowA(WindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  if (!FWindow) return;
  SetWindowLongPtrA(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (midiInOpen(&FInput, Device, reinterpret_cast<DWORD_PTR>(FWindow), 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    FInput = nullptr;
    return;
  }
  midiInStart(FInput);
}

TBareInput::~TBareInput() {
  if (FInput) {
    midiInStop(FInput);
    midiInReset(FInput);
    midiInClose(FInput);
  }
  if (FWindow) DestroyWindow(FWindow);
}

LRESULT CALLBACK TBareInput::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == MM_MIM_DATA) {
    auto* input = reinterpret_cast<TBareInput*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
    if (input) input->FHandler(input->FContext, static_cast<DWORD>(LParam));
    return 0;
  }
  return DefWindowProcA(Window, Message, WParam, LParam);
}

}  // namespace bench
