#include "GuiDriver.h"

#include "ui/controls/Application.h"

namespace gui {

namespace {

std::function<bool()> PendingModalAction;
bool ModalActionDone = false;
UINT_PTR ModalTimer = 0;
int ModalTries = 0;
constexpr UINT ModalTryMilliseconds = 30;

void CALLBACK RunModalAction(HWND, UINT, UINT_PTR, DWORD) {
  if (!PendingModalAction) return;
  KillTimer(nullptr, ModalTimer);
  ModalTimer = 0;
  auto action = std::move(PendingModalAction);
  PendingModalAction = nullptr;
  if (action()) {
    ModalActionDone = true;
  } else if (++ModalTries < 5000 / static_cast<int>(ModalTryMilliseconds)) {
    PendingModalAction = std::move(action);
    ModalTimer = SetTimer(nullptr, 0, ModalTryMilliseconds, RunModalAction);
  }
}

void SetCtrl(bool down) {
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_CONTROL] = down ? 0x80 : 0;
  state[VK_LCONTROL] = down ? 0x80 : 0;
  SetKeyboardState(state);
}

}  // namespace

void Pump() {
  if (Application) Application->ProcessMessages();
}

void PressKey(HWND target, WORD key, bool ctrl) {
  if (ctrl) SetCtrl(true);
  const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  PostMessageA(target, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scan << 16)));
  Pump();
  PostMessageA(target, WM_KEYUP, key, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
  Pump();
  if (ctrl) SetCtrl(false);
}

void Type(HWND target, const std::string& text) {
  for (const char c : text) PostMessageA(target, WM_CHAR, static_cast<unsigned char>(c), 1);
  Pump();
}

void Click(HWND button) {
  SendMessageA(button, BM_CLICK, 0, 0);
  Pump();
}

void WhenModalLoopRuns(std::function<void()> action) {
  WhenModalLoopRunsRetry([action = std::move(action)] {
    action();
    return true;
  });
}

void WhenModalLoopRunsRetry(std::function<bool()> action) {
  PendingModalAction = std::move(action);
  ModalActionDone = false;
  ModalTries = 0;
  ModalTimer = SetTimer(nullptr, 0, ModalTryMilliseconds, RunModalAction);
}

bool ModalActionRan() { return ModalActionDone; }

}  // namespace gui
