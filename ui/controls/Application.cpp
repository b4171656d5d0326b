#include "ui/controls/Application.h"

#include <commctrl.h>

#include "platform/Platform.h"
#include "ui/controls/Form.h"

TApplication* Application = nullptr;

TApplication::TApplication() {
  INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                              ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&init);
  Application = this;
}

TApplication::~TApplication() {
  if (Application == this) Application = nullptr;
}

void TApplication::SetTitle(const std::string& Title) { FTitle = Title; }

void TApplication::FormCreated(TForm& Form) {
  if (!FMainForm) FMainForm = &Form;
}

void TApplication::FormDestroyed(TForm& Form) {
  if (FMainForm == &Form) FMainForm = nullptr;
}

void TApplication::Run() {
  if (FMainForm) FMainForm->Show();
  while (!FTerminated) HandleMessage();
}

void TApplication::HandleMessage() {
  MSG message;
  if (!ProcessMessage(message)) Idle();
}

void TApplication::ProcessMessages() {
  MSG message;
  while (ProcessMessage(message)) {
  }
  platform::DeliverPendingNotices();
}

void TApplication::Terminate() {
  if (FTerminated) return;
  FTerminated = true;
  PostQuitMessage(0);  // wakes a loop that waits in the idle moment
}

void TApplication::Minimize() {
  if (FMainForm) ShowWindow(FMainForm->Handle(), SW_MINIMIZE);
}

void TApplication::HandleException(const std::exception& Error) {
  if (OnException) {
    OnException(*this, Error);
    return;
  }
  const HWND owner = FMainForm ? FMainForm->Handle() : nullptr;
  MessageBoxA(owner, Error.what(), FTitle.c_str(), MB_OK | MB_ICONERROR);
}

bool TApplication::ProcessMessage(MSG& Message) {
  if (!PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Message.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  if (!PreTranslate(Message)) {
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  return true;
}

// Shortcuts and dialog keys belong to the form that holds the window the
// message is for, so a popup menu's shortcut works whichever of the form's
// controls has the focus.
bool TApplication::PreTranslate(MSG& Message) {
  if (!Message.hwnd) return false;
  if (RunApplicationShortcut(Message)) return true;
  TForm* form = TForm::FromHandle(GetAncestor(Message.hwnd, GA_ROOT));
  if (!form) return false;
  if (HACCEL accelerators = form->Accelerators()) {
    if (TranslateAcceleratorA(form->Handle(), accelerators, &Message)) return true;
  }
  return IsDialogMessageA(form->Handle(), &Message) != FALSE;
}

void TApplication::AddApplicationShortcut(TShortCut ShortCut, std::function<void()> Action) {
  FApplicationShortcuts.push_back({ShortCut, std::move(Action)});
}

bool TApplication::RunApplicationShortcut(const MSG& Message) {
  if (Message.message != WM_KEYDOWN) return false;
  const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  for (const TApplicationShortcut& shortcut : FApplicationShortcuts) {
    if (shortcut.ShortCut.Key != Message.wParam || shortcut.ShortCut.Ctrl != ctrl) continue;
    shortcut.Action();
    return true;
  }
  return false;
}

void TApplication::Idle() {
  bool done = true;
  if (OnIdle) {
    // A handler may clear OnIdle while it runs: call a copy.
    const TIdleEvent idle = OnIdle;
    try {
      idle(*this, done);
    } catch (const std::exception& error) {
      HandleException(error);
    }
  }
  platform::DeliverPendingNotices();
  if (OnIdleWork) {
    try {
      OnIdleWork(*this);
    } catch (const std::exception& error) {
      HandleException(error);
    }
  }
  if (done && !FTerminated)
    MsgWaitForMultipleObjectsEx(0, nullptr, IdleWaitMilliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void HandleUiException(const std::exception& Error) noexcept {
  try {
    if (Application) Application->HandleException(Error);
  } catch (...) {
    // The error report itself failed; nothing is left to tell.
  }
}
