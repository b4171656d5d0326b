// The application object: the message loop with its idle moment, the
// processing of pending messages, the title, minimising and the default
// error report. Keyboard shortcuts and dialog keys (Tab, Enter, Esc) are
// translated here for the form that the message is meant for.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "ui/controls/PopupMenu.h"

class TForm;

class TApplication {
 public:
  using TIdleEvent = std::function<void(TApplication& Sender, bool& Done)>;
  using TExceptionEvent = std::function<void(TApplication& Sender, const std::exception& E)>;

  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  void SetTitle(const std::string& Title);

  // The first form created; closing it ends the message loop.
  TForm* MainForm() const { return FMainForm; }
  void FormCreated(TForm& Form);
  void FormDestroyed(TForm& Form);

  // Shows the main form, then handles messages until Terminate.
  void Run();
  // Handles one message, or has the idle moment and waits when there is none.
  void HandleMessage();
  // Handles every message that is waiting, then the platform's MIDI notices.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  void Minimize();

  // The application's default error report: OnException when assigned,
  // otherwise a message box with the error's text.
  void HandleException(const std::exception& Error);

  TIdleEvent OnIdle;
  // Runs at every idle moment after OnIdle, for work that is never done
  // (telling the user about settings that could not be written).
  std::function<void(TApplication& Sender)> OnIdleWork;
  TExceptionEvent OnException;
  // The system ends the session while the program runs: the process ends
  // when the main window's answer returns, so the program's own shutdown
  // has to run in here.
  std::function<void()> OnEndSession;

  // A shortcut that works in every form of the application, whichever of
  // its windows has the focus.
  void AddApplicationShortcut(TShortCut ShortCut, std::function<void()> Action);

  // How long the idle wait may block; tests that drive the simulated MIDI
  // system, whose notices are not window messages, shorten it.
  DWORD IdleWaitMilliseconds = INFINITE;

 private:
  bool ProcessMessage(MSG& Message);
  bool PreTranslate(MSG& Message);
  void Idle();

  struct TApplicationShortcut {
    TShortCut ShortCut;
    std::function<void()> Action;
  };
  bool RunApplicationShortcut(const MSG& Message);

  std::string FTitle;
  std::vector<TApplicationShortcut> FApplicationShortcuts;
  TForm* FMainForm = nullptr;
  bool FTerminated = false;
};

// The one application object of the program, set while a TApplication lives.
extern TApplication* Application;

// Window procedures are noexcept: what a handler throws ends here.
void HandleUiException(const std::exception& Error) noexcept;
