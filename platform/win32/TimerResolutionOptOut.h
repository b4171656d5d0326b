// Windows 11 may stop honouring a process's timer-resolution request while
// none of its windows is visible (minimised or hidden), which would stretch
// a 1 ms timer period to the default tick of about 15.6 ms. A process can
// opt out of that throttling; this does so where the system offers it.
#pragma once

namespace platform::win32 {

// Asks the system to keep honouring this process's timer resolution whatever
// its windows' state. Quietly does nothing on systems without the call
// (before Windows 8) or without the setting (before Windows 11). Cheap and
// safe to call more than once.
void OptOutOfTimerResolutionThrottling();

}  // namespace platform::win32
