// The multimedia timer calls of the platform seam, over winmm.
#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>

#include "platform/win32/FileHandle.h"
#include "platform/win32/TimerResolutionOptOut.h"

namespace platform {

MMRESULT timeGetDevCaps(TIMECAPS* Caps, UINT CapsSize) { return ::timeGetDevCaps(Caps, CapsSize); }
MMRESULT timeBeginPeriod(UINT Period) {
  // A minimised or hidden window must not cost the router its resolution.
  win32::OptOutOfTimerResolutionThrottling();
  return ::timeBeginPeriod(Period);
}
MMRESULT timeEndPeriod(UINT Period) { return ::timeEndPeriod(Period); }

// Every event is created with TIME_KILL_SYNCHRONOUS: once timeKillEvent has
// returned, no callback of it is running and none starts, so the callback's
// object may go. TIME_CALLBACK_FUNCTION, since the callback is a function.
UINT timeSetEvent(UINT Delay, UINT Resolution, LPTIMECALLBACK Callback, DWORD_PTR User, UINT Flags) {
  return ::timeSetEvent(Delay, Resolution, Callback, User,
                        Flags | TIME_KILL_SYNCHRONOUS | TIME_CALLBACK_FUNCTION);
}

MMRESULT timeKillEvent(UINT TimerId) { return ::timeKillEvent(TimerId); }

// The wake-ups: a thread of their own waits on a waitable timer, set by that
// thread alone to the earliest moment asked, so that two asks from two threads
// can never leave it set to the later one. Chosen over one-shot multimedia
// events, which count whole milliseconds of the tick count and so can fire up
// to a millisecond before a moment that falls between two of them.
namespace {

// The value of CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, spelled out for headers
// older than the flag.
constexpr DWORD HighResolutionTimerFlag = 0x00000002;
constexpr TDateTime NothingAsked = std::numeric_limits<TDateTime>::infinity();
constexpr double HundredNanosecondsPerDay = MillisecondsPerDay * 10000.0;

using CreateWaitableTimerExCall = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);

// A high-resolution timer where the system has one (Windows 10 1803 on; looked
// up at run time, as Windows 7 must start): it keeps to the moment within a
// fraction of a millisecond whatever resolution is asked for. Elsewhere the
// system refuses the flag, and a plain timer is as fine as the 1 ms resolution
// the running periodic timer holds.
HANDLE CreateWakeUpTimer() {
  if (const HMODULE kernel = ::GetModuleHandleA("kernel32.dll")) {
    const auto createEx = reinterpret_cast<CreateWaitableTimerExCall>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "CreateWaitableTimerExW")));
    if (createEx != nullptr) {
      if (HANDLE timer = createEx(nullptr, nullptr, HighResolutionTimerFlag, TIMER_ALL_ACCESS)) return timer;
    }
  }
  return ::CreateWaitableTimerW(nullptr, FALSE, nullptr);
}

}  // namespace

struct WakeUp {
  WakeUp(LPTIMECALLBACK LpTimeProc, DWORD_PTR dwUser) : Callback(LpTimeProc), User(dwUser) {}
  ~WakeUp() {
    if (!Thread.Valid()) return;
    ::SetEvent(Stop.Get());
    ::WaitForSingleObject(Thread.Get(), INFINITE);
  }
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;

  // Sets the timer; false when the moment has come already.
  bool Arm(TDateTime Moment) {
    const double ahead = std::ceil((Moment - Now()) * HundredNanosecondsPerDay);
    if (ahead <= 0) return false;
    LARGE_INTEGER relative;
    relative.QuadPart = -static_cast<LONGLONG>(ahead);
    // A refusal leaves the moment to the periodic tick.
    static_cast<void>(::SetWaitableTimer(Timer.Get(), &relative, 0, nullptr, nullptr, FALSE));
    return true;
  }

  void Run() noexcept {
    // As the multimedia timer's own thread runs.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const HANDLE waits[] = {Stop.Get(), Asked.Get(), Timer.Get()};
    TDateTime armed = NothingAsked;
    for (;;) {
      // Looked at before every wait: the callback's own asks set no signal.
      const TDateTime asked = Due.load(std::memory_order_acquire);
      bool fire = false;
      if (asked < armed) {
        armed = asked;
        fire = !Arm(asked);
      }
      if (!fire) {
        const DWORD woken = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) continue;
        // Stopped (or the wait failed: the periodic tick goes on alone).
        if (woken != WAIT_OBJECT_0 + 2) return;
      }
      // Cleared only if no earlier moment came meanwhile; one that did is
      // due now too, and is served by a second, empty callback.
      TDateTime served = armed;
      Due.compare_exchange_strong(served, NothingAsked, std::memory_order_acq_rel);
      armed = NothingAsked;
      Callback(0, 0, User, 0, 0);
    }
  }

  const LPTIMECALLBACK Callback;
  const DWORD_PTR User;
  // The earliest moment asked since the last callback began: lowered by any
  // thread, cleared by the wake-up's thread as it fires.
  std::atomic<TDateTime> Due{NothingAsked};
  const win32::FileHandle Timer{CreateWakeUpTimer()};  // set by the wake-up's thread only
  const win32::FileHandle Asked{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // an earlier moment was asked
  const win32::FileHandle Stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  // Started last, once everything it uses exists.
  DWORD ThreadId = 0;
  const win32::FileHandle Thread{
      Timer.Valid() && Asked.Valid() && Stop.Valid()
          ? ::CreateThread(nullptr, 0, [](LPVOID self) -> DWORD { static_cast<WakeUp*>(self)->Run(); return 0; }, this, 0, &ThreadId)
          : nullptr};
};

WakeUp* wakeUpCreate(LPTIMECALLBACK Callback, DWORD_PTR User) {
  auto wakeUp = std::make_unique<WakeUp>(Callback, User);
  return wakeUp->Thread.Valid() ? wakeUp.release() : nullptr;
}

void wakeUpAt(WakeUp* Instance, TDateTime Moment) noexcept {
  TDateTime asked = Instance->Due.load(std::memory_order_relaxed);
  // Written even when the moment stays, so that this ask is ordered after
  // whatever this thread handed over before it, for the callback that
  // clears the moment.
  while (!Instance->Due.compare_exchange_weak(asked, std::min(asked, Moment), std::memory_order_acq_rel,
                                            std::memory_order_relaxed)) {
  }
  // The wake-up's own thread looks again after its callback by itself.
  if (Moment < asked && ::GetCurrentThreadId() != Instance->ThreadId) ::SetEvent(Instance->Asked.Get());
}

void wakeUpKill(WakeUp* Instance) { delete Instance; }

}  // namespace platform
