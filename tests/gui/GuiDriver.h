// Drives the windows as a user does, through window messages: keys with
// and without Ctrl, typed characters, clicks, and actions to run once a
// modal dialog's own message loop has started.
#pragma once

#include <functional>
#include <string>

#include <windows.h>

namespace gui {

// Handles every pending window message and simulated MIDI notice.
void Pump();
// A key pressed and released on the window that has the keyboard focus,
// here the target; with ctrl, the Ctrl key is held meanwhile. The messages
// go through the application's loop, so shortcuts and dialog keys apply.
void PressKey(HWND Target, WORD Key, bool Ctrl = false);
// Characters typed into the target.
void Type(HWND Target, const std::string& Text);
// A mouse click on a button.
void Click(HWND Button);
// Runs the action from inside the next message loop that runs (a modal
// dialog's), once that loop has handled its first messages.
void WhenModalLoopRuns(std::function<void()> Action);
// The same with an action that may find its dialog not there yet: it is
// tried again until it returns true (at most for five seconds).
void WhenModalLoopRunsRetry(std::function<bool()> Action);
// True when the action given to WhenModalLoopRuns has run.
bool ModalActionRan();

}  // namespace gui
