// A hidden window of the main thread to which the system posts a MIDI port's
// notices (CALLBACK_WINDOW). Each port owns one; notices reach its handler on
// the thread that created it, in the order in which they were posted.
#pragma once

#include <functional>
#include <memory>

#include "platform/MmSystem.h"

// A window message as a port sees it.
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

namespace platform {

// The message a notice window posts to itself (WM_APP + 1).
inline constexpr UINT SelfNotice = 0x8001;

class NoticeWindow {
 public:
  using Handler = std::function<void(TMessage&)>;

  explicit NoticeWindow(Handler NoticeHandler);
  ~NoticeWindow();
  NoticeWindow(const NoticeWindow&) = delete;
  NoticeWindow& operator=(const NoticeWindow&) = delete;

  // The value to pass as the callback of midiInOpen / midiOutOpen together
  // with CALLBACK_WINDOW (the window handle).
  DWORD_PTR CallbackTarget() const;

  // Posts SelfNotice to the window: its handler gets it once the message
  // being handled now, and those posted before, have been handled.
  void PostSelfNotice() const;

  // Hands the window's handler, now, the notices with code Msg that are
  // waiting for it, in the order they were posted.
  void DeliverWaiting(UINT Msg) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
