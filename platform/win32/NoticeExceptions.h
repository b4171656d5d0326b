// What becomes of an exception that a MIDI port's notice handler lets out.
// It cannot travel through the system's message dispatch, so the notice
// window catches it and hands it to the handler set here: the program sets
// its application's default error report, so that such an exception is
// shown and the program goes on, as for its own windows. Without a handler
// the exception is dropped. The next notices are delivered either way.
#pragma once

#include <exception>

namespace platform::win32 {

using NoticeExceptionHandler = void (*)(const std::exception& Error) noexcept;

// Any thread; takes effect for the next notice.
void SetNoticeExceptionHandler(NoticeExceptionHandler Handler);

}  // namespace platform::win32
