// The simulated message queue of the notice windows: every live notice
// window by its target value, and one queue of posted notices in posting
// order. Drivers post from any thread; the thread that created a window
// delivers its notices.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/NoticeWindow.h"

namespace sim {

class NoticeQueue {
 public:
  using Handler = std::function<void(TMessage&)>;

  // Registers a window of the calling thread; returns its target value,
  // never 0 and never given out twice in the life of the process.
  DWORD_PTR AddWindow(Handler NoticeHandler);
  void RemoveWindow(DWORD_PTR Target);

  // A notice for target 0 (a device opened without a window) goes nowhere.
  void Post(DWORD_PTR Target, UINT Msg, WPARAM wParam, LPARAM lParam);
  // Delivers, in posting order, every notice for the calling thread's
  // windows, those posted meanwhile included; notices for windows that no
  // longer exist are dropped. A handler may deliver again (a pumping lamp).
  std::size_t Deliver();
  // Delivers only the notices of one window with one message code.
  std::size_t Deliver(DWORD_PTR Target, UINT Msg);
  std::size_t Pending() const;
  void DropAll();

 private:
  struct Window {
    Handler OnNotice;
    std::thread::id Owner;
  };
  struct Notice {
    DWORD_PTR Target;
    TMessage Message;
  };
  std::size_t DeliverWhere(const std::function<bool(const Notice&)>& Accept);

  mutable std::mutex mutex_;
  std::unordered_map<DWORD_PTR, std::shared_ptr<Window>> windows_;  // guarded by mutex_
  std::deque<Notice> queue_;                                          // guarded by mutex_
  DWORD_PTR lastTarget_ = 0;                                          // guarded by mutex_
};

}  // namespace sim
