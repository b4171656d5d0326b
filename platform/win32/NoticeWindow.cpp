// The hidden window of a MIDI port: a message-only window (HWND_MESSAGE) of
// the thread that creates the port. winmm posts the port's notices to it, so
// they reach the port in that thread's message loop in posting order.
#include "platform/NoticeWindow.h"

#include <atomic>
#include <exception>
#include <stdexcept>

#include "platform/Platform.h"
#include "platform/win32/Handle.h"
#include "platform/win32/NoticeExceptions.h"
#include "platform/win32/WindowClass.h"

namespace platform {

struct NoticeWindow::Impl {
  Handler OnMessage;
  TWindowHandle Window;
};

namespace {

constexpr char WindowClassName[] = "VelmoraMidiNoticeWindow";

// The multimedia notices of MIDI ports, MM_MIM_OPEN to MM_MIM_MOREDATA, and
// the window's own SelfNotice. They go to the owner; every other message gets
// the system's default handling.
bool IsMidiNotice(UINT Message) { return (Message >= MM_MIM_OPEN && Message <= MM_MIM_MOREDATA) || Message == SelfNotice; }

// Set by the program (its error report); read by every notice window.
std::atomic<win32::NoticeExceptionHandler> noticeExceptionHandler{nullptr};

void Report(const std::exception& Error) noexcept {
  if (const auto handler = noticeExceptionHandler.load()) handler(Error);
}

LRESULT CALLBACK NoticeWindowProc(HWND Window, UINT Message, WPARAM wParam, LPARAM lParam) noexcept {
  if (Message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* impl = reinterpret_cast<NoticeWindow::Impl*>(::GetWindowLongPtrA(Window, GWLP_USERDATA));
  if (impl && IsMidiNotice(Message)) {
    TMessage notice;
    notice.Msg = Message;
    notice.WParam = wParam;
    notice.LParam = lParam;
    try {
      if (impl->OnMessage) impl->OnMessage(notice);
    } catch (const std::exception& error) {
      Report(error);
    } catch (...) {
      try {
        Report(std::runtime_error("Unknown exception in a MIDI notice."));
      } catch (...) {
        // Out of memory for the report itself: the exception is dropped.
      }
    }
    return notice.Result;
  }
  return ::DefWindowProcA(Window, Message, wParam, lParam);
}

// Registered once for the process and left registered until it ends.
const char* NoticeWindowClass() {
  static const char* const name = [] {
    WNDCLASSEXA windowClass = BasicWindowClass(WindowClassName);
    windowClass.lpfnWndProc = NoticeWindowProc;
    return RegisterWindowClass(windowClass, "Cannot register the MIDI notice window class.");
  }();
  return name;
}

}  // namespace

NoticeWindow::NoticeWindow(Handler NoticeHandler) : impl_(std::make_unique<Impl>()) {
  impl_->OnMessage = std::move(NoticeHandler);
  // A message-only window cannot fail to be made short of the system running
  // out of resources; should it fail, the port's opens still work but it
  // receives no notices (the handle given to winmm is then 0).
  try {
    impl_->Window.Reset(::CreateWindowExA(0, NoticeWindowClass(), "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, GetModuleHandleA(nullptr), impl_.get()));
  } catch (const std::exception&) {
    // The class could not be registered: no window, as above.
  }
}

// Notices still queued for the window are discarded with it.
NoticeWindow::~NoticeWindow() = default;

DWORD_PTR NoticeWindow::CallbackTarget() const { return reinterpret_cast<DWORD_PTR>(impl_->Window.Get()); }

void NoticeWindow::DeliverWaiting(UINT Msg) const {
  if (!impl_->Window) return;
  MSG message;
  while (::PeekMessageA(&message, impl_->Window.Get(), Msg, Msg, PM_REMOVE)) ::DispatchMessageA(&message);
}

void NoticeWindow::PostSelfNotice() const {
  // A window that could not be made has no queue; the notice is lost with it.
  if (impl_->Window) ::PostMessageA(impl_->Window.Get(), SelfNotice, 0, 0);
}

void DeliverPendingNotices() {
  // Nothing to do: the thread's message loop delivers every notice.
}

void win32::SetNoticeExceptionHandler(win32::NoticeExceptionHandler Handler) {
  noticeExceptionHandler.store(Handler);
}

}  // namespace platform
