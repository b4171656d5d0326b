#include "midi/MMTimer.h"

#include "platform/Platform.h"

TMMTimer::TMMTimer() {
  TIMECAPS caps{};
  if (platform::timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR && caps.wPeriodMin > 0 &&
      caps.wPeriodMin <= caps.wPeriodMax) {
    FPeriodMin = caps.wPeriodMin;
    FPeriodMax = caps.wPeriodMax;
  } else {
    // Capabilities that cannot be read (or make no sense) give the widest
    // range the service is known to take; 4 ms stays possible.
    FPeriodMin = 1;
    FPeriodMax = 1000000;
  }
  FResolution = FPeriodMin;
}

TMMTimer::~TMMTimer() { SetEnabled(false); }

void TMMTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  UpdateTimer();
}

void TMMTimer::SetInterval(UINT Milliseconds) {
  if (Milliseconds == FInterval) return;
  FInterval = Milliseconds;
  if (FInterval < FPeriodMin) FInterval = FPeriodMin;
  if (FInterval > FPeriodMax) FInterval = FPeriodMax;
  UpdateTimer();
}

void TMMTimer::UpdateTimer() {
  EndTimer();
  if (FInterval > 0 && FEnabled && OnTimer) BeginTimer();
}

void TMMTimer::BeginTimer() {
  platform::timeBeginPeriod(FResolution);
  // Made before the periodic event, whose ticks read it. Without one (the
  // system refused) the periodic tick serves alone, as a delay's granularity.
  FWakeUp = platform::wakeUpCreate(&TMMTimer::TimerProc, reinterpret_cast<DWORD_PTR>(this));
  FTimerID = platform::timeSetEvent(FInterval, FResolution, &TMMTimer::TimerProc,
                                    reinterpret_cast<DWORD_PTR>(this), TIME_PERIODIC);
  if (FTimerID == 0) {
    EndWakeUp();
    platform::timeEndPeriod(FResolution);
    return;
  }
  // What waited while the timer was stopped, or came due meanwhile, is not
  // left for the first periodic tick: a tick at once sends it and asks for
  // the next due time.
  WakeAt(platform::Now());
}

void TMMTimer::WakeAt(TDateTime Due) noexcept {
  if (FWakeUp != nullptr) platform::wakeUpAt(FWakeUp, Due);
}

void TMMTimer::EndTimer() {
  if (FTimerID == 0) return;
  // Returns once a tick in progress has finished. Never called from inside a
  // tick, so the wait cannot be for ourselves.
  platform::timeKillEvent(FTimerID);
  EndWakeUp();  // after the periodic event, whose ticks may still ask for wake-ups
  platform::timeEndPeriod(FResolution);
  FTimerID = 0;
}

void TMMTimer::EndWakeUp() {
  if (FWakeUp != nullptr) platform::wakeUpKill(FWakeUp);
  FWakeUp = nullptr;
}

void CALLBACK TMMTimer::TimerProc(UINT, UINT, DWORD_PTR dwUser, DWORD_PTR, DWORD_PTR) {
  reinterpret_cast<TMMTimer*>(dwUser)->DoTimer();
}

void TMMTimer::DoTimer() {
  // Two threads tick. The one that meets a tick running leaves another round
  // to it: that one may have looked before this tick's moment had come.
  if (FTicksAsked.fetch_add(1, std::memory_order_acq_rel) != 0) return;
  std::uint32_t asked = 1;
  do {
    // OnTimer is written only while the timer is stopped.
    if (!OnTimer) continue;
    try {
      OnTimer(*this);
    } catch (...) {
      // Nothing may escape into the system's timer thread.
    }
  } while (!FTicksAsked.compare_exchange_strong(asked, 0, std::memory_order_acq_rel));
}
