// A periodic timer over the system's multimedia timer. OnTimer runs once per
// period on the timer service's thread. Once SetEnabled(false) (or any other
// stop) has returned, no tick is running and none will start: the platform
// creates every event to be killed synchronously, and that is the only stop
// mechanism.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/MmSystem.h"

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

  // Written on the main thread only while the timer is stopped.
  TNotifyEvent OnTimer;

 private:
  void UpdateTimer();
  void BeginTimer();
  void EndTimer();
  static void CALLBACK TimerProc(UINT uTimerID, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1,
                                 DWORD_PTR dw2);
  void DoTimer();

  bool FEnabled = false;
  UINT FInterval = 1000;
  UINT FResolution = 0;
  UINT FPeriodMin = 0;
  UINT FPeriodMax = 0;
  UINT FTimerID = 0;
};
