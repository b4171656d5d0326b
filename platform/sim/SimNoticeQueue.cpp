#include "platform/sim/SimNoticeQueue.h"

#include <utility>

namespace sim {

namespace {
// Window targets look like window handles and live apart from device handles.
constexpr DWORD_PTR FirstWindowTarget = 0x00A10000;
constexpr DWORD_PTR WindowTargetStep = 0x10;
}  // namespace

DWORD_PTR NoticeQueue::AddWindow(Handler NoticeHandler) {
  auto window = std::make_shared<Window>(Window{std::move(NoticeHandler), std::this_thread::get_id()});
  std::lock_guard<std::mutex> lock(mutex_);
  lastTarget_ = lastTarget_ == 0 ? FirstWindowTarget : lastTarget_ + WindowTargetStep;
  windows_.emplace(lastTarget_, std::move(window));
  return lastTarget_;
}

void NoticeQueue::RemoveWindow(DWORD_PTR Target) {
  std::shared_ptr<Window> removed;  // released outside the lock: its handler may own anything
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = windows_.find(Target);
  if (found == windows_.end()) return;
  removed = std::move(found->second);
  windows_.erase(found);
}

void NoticeQueue::Post(DWORD_PTR Target, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Target == 0) return;
  TMessage message;
  message.Msg = Msg;
  message.WParam = wParam;
  message.LParam = lParam;
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back({Target, message});
}

std::size_t NoticeQueue::Deliver() {
  return DeliverWhere([](const Notice&) { return true; });
}

std::size_t NoticeQueue::Deliver(DWORD_PTR Target, UINT Msg) {
  return DeliverWhere([&](const Notice& notice) { return notice.Target == Target && notice.Message.Msg == Msg; });
}

std::size_t NoticeQueue::DeliverWhere(const std::function<bool(const Notice&)>& Accept) {
  const std::thread::id self = std::this_thread::get_id();
  std::size_t delivered = 0;
  for (;;) {
    std::shared_ptr<Window> window;
    TMessage message;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto notice = queue_.begin(); notice != queue_.end();) {
        const auto found = windows_.find(notice->Target);
        if (found == windows_.end()) {
          notice = queue_.erase(notice);  // the window is gone, as its messages are
          continue;
        }
        if (found->second->Owner != self || !Accept(*notice)) {
          ++notice;  // another thread's window: its own loop delivers it
          continue;
        }
        window = found->second;
        message = notice->Message;
        queue_.erase(notice);
        break;
      }
    }
    if (!window) return delivered;
    // No lock is held here: the handler may post, deliver, or destroy windows.
    window->OnNotice(message);
    ++delivered;
  }
}

std::size_t NoticeQueue::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

void NoticeQueue::DropAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
}

}  // namespace sim
