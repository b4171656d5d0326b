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

void SetCtrl(bool Down) {
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_CONTROL] = Down ? 0x80 : 0;
  state[VK_LCONTROL] = Down ? 0x80 : 0;
  SetKeyboardState(state);
}

}  // namespace

void Pump() {
  if (Application) Application->ProcessMessages();
}

void PressKey(HWND Target, WORD Key, bool Ctrl) {
  if (Ctrl) SetCtrl(true);
  const UINT scan = MapVirtualKeyA(Key, MAPVK_VK_TO_VSC);
  PostMessageA(Target, WM_KEYDOWN, Key, static_cast<LPARAM>(1 | (scan << 16)));
  Pump();
  PostMessageA(Target, WM_KEYUP, Key, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
  Pump();
  if (Ctrl) SetCtrl(false);
}

void Type(HWND Target, const std::string& Text) {
  for (const char c : Text) PostMessageA(Target, WM_CHAR, static_cast<unsigned char>(c), 1);
  Pump();
}

void Click(HWND Button) {
  SendMessageA(Button, BM_CLICK, 0, 0);
  Pump();
}

void WhenModalLoopRuns(std::function<void()> Action) {
  WhenModalLoopRunsRetry([action = std::move(Action)] {
    action();
    return true;
  });
}

void WhenModalLoopRunsRetry(std::function<bool()> Action) {
  PendingModalAction = std::move(Action);
  ModalActionDone = false;
  ModalTries = 0;
  ModalTimer = SetTimer(nullptr, 0, ModalTryMilliseconds, RunModalAction);
}

bool ModalActionRan() { return ModalActionDone; }

}  // namespace gui
