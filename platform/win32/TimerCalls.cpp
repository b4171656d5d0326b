// The multimedia timer calls of the platform seam, over winmm.
#include "platform/Platform.h"
#include "platform/win32/TimerResolutionOptOut.h"

namespace platform {

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT capsSize) { return ::timeGetDevCaps(caps, capsSize); }
MMRESULT timeBeginPeriod(UINT period) {
  // A minimised or hidden window must not cost the router its resolution.
  win32::OptOutOfTimerResolutionThrottling();
  return ::timeBeginPeriod(period);
}
MMRESULT timeEndPeriod(UINT period) { return ::timeEndPeriod(period); }

// Every event is created with TIME_KILL_SYNCHRONOUS: once timeKillEvent has
// returned, no callback of it is running and none starts, so the callback's
// object may go. TIME_CALLBACK_FUNCTION, since the callback is a function.
UINT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags) {
  return ::timeSetEvent(delay, resolution, callback, user,
                        flags | TIME_KILL_SYNCHRONOUS | TIME_CALLBACK_FUNCTION);
}

MMRESULT timeKillEvent(UINT timerId) { return ::timeKillEvent(timerId); }

}  // namespace platform
