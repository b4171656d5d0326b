// Now: the local wall clock, read once, then advanced by the performance
// counter, so that setting the clock back cannot hold queued messages back.
#include "platform/Platform.h"

namespace platform {
namespace {

struct ClockAnchor {
  ClockAnchor() {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    Frequency = static_cast<double>(frequency.QuadPart);
    // The two readings are taken back to back; the counter is the one that
    // is read from then on.
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    Counter = counter.QuadPart;
    Start = EncodeDateTime(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                           local.wMilliseconds);
  }
  double Frequency = 1;
  LONGLONG Counter = 0;
  TDateTime Start = 0;
};

}  // namespace

TDateTime Now() {
  static const ClockAnchor anchor;  // built by the first caller, on any thread
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  const double seconds = static_cast<double>(counter.QuadPart - anchor.Counter) / anchor.Frequency;
  return anchor.Start + seconds * 1000.0 / MillisecondsPerDay;
}

}  // namespace platform
