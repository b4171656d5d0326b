// platform::NoticeWindow over the simulated message queue.
#include "platform/NoticeWindow.h"

#include <utility>

#include "platform/sim/SimMachine.h"

namespace platform {

struct NoticeWindow::Impl {
  DWORD_PTR Target = 0;
};

NoticeWindow::NoticeWindow(Handler NoticeHandler) : impl_(std::make_unique<Impl>()) {
  impl_->Target = sim::TheMachine().Notices.AddWindow(std::move(NoticeHandler));
}

NoticeWindow::~NoticeWindow() { sim::TheMachine().Notices.RemoveWindow(impl_->Target); }

DWORD_PTR NoticeWindow::CallbackTarget() const { return impl_->Target; }

void NoticeWindow::DeliverWaiting(UINT Msg) const { sim::TheMachine().Notices.Deliver(impl_->Target, Msg); }

void NoticeWindow::PostSelfNotice() const { sim::TheMachine().Notices.Post(impl_->Target, SelfNotice, 0, 0); }

}  // namespace platform
