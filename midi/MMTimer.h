// A periodic timer over the system's multimedia timer, with wake-ups between
// its ticks. OnTimer runs once per period on the timer service's thread, and
// at each moment asked for through WakeAt on the wake-up's thread, never
// twice at once: a tick that meets one running is not lost but makes the
// running one call OnTimer once more. Once SetEnabled(false) (or any other
// stop) has returned, no tick is running and none will start: the platform
// ends the periodic event and the wake-up synchronously, and that is the
// only stop mechanism.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/DateTime.h"
#include "platform/MmSystem.h"

namespace platform {
struct WakeUp;
}

class TMMTimer {
 public:
  using TNotifyEvent = std::function<void(TMMTimer& Sender)>;

  TMMTimer();
  ~TMMTimer();
  TMMTimer(const TMMTimer&) = delete;
  TMMTimer& operator=(const TMMTimer&) = delete;

  bool Enabled() const { return FEnabled; }
  UINT Interval() const { return FInterval; }
  UINT Resolution() const { return FResolution; }
  UINT PeriodMin() const { return FPeriodMin; }
  UINT PeriodMax() const { return FPeriodMax; }
  UINT TimerID() const { return FTimerID; }

  void SetEnabled(bool Value);
  void SetInterval(UINT Milliseconds);
  // A tick at Due too, as soon as it has come and never before, while the
  // timer runs; the periodic tick stays, for a wake-up the system misses.
  // Any thread, ticks included; never waits. Asked while stopped: nothing.
  void WakeAt(TDateTime Due) noexcept;

  // Written on the main thread only while the timer is stopped.
  TNotifyEvent OnTimer;

 private:
  void UpdateTimer();
  void BeginTimer();
  void EndTimer();
  void EndWakeUp();
  static void CALLBACK TimerProc(UINT uTimerID, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1,
                                 DWORD_PTR dw2);
  void DoTimer();

  bool FEnabled = false;
  UINT FInterval = 1000;
  UINT FResolution = 0;
  UINT FPeriodMin = 0;
  UINT FPeriodMax = 0;
  UINT FTimerID = 0;
  // Made and ended beside the periodic event, on the main thread while no
  // tick runs; read by ticks in between.
  platform::WakeUp* FWakeUp = nullptr;
  // Ticks asked since the running one began (0: none runs); its own atomic.
  std::atomic<std::uint32_t> FTicksAsked{0};
};
