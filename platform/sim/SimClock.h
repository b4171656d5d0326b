// The simulated wall clock. Manual by default: Now stays put until a test
// moves it. In real-time mode it runs with the steady clock from the moment of
// the switch.
#pragma once

#include <chrono>
#include <mutex>

#include "platform/DateTime.h"

namespace sim {

class Clock {
 public:
  // 29 March 2026, 01:59:00 local: one minute before the clocks of central
  // Europe go forward, so a test that runs into the switch sees that Now,
  // unlike the wall clock, keeps counting evenly.
  static constexpr TDateTime StartTime = EncodeDateTime(2026, 3, 29, 1, 59, 0, 0);

  Clock();

  TDateTime Now() const;
  void Set(TDateTime Now);
  void Advance(double Milliseconds);
  // Milliseconds the manual clock has been advanced since the last Reset; the
  // manual timer schedules its events on this line, so SetNow does not move
  // them.
  double TimelineMs() const;
  // An advance of the clock after which Now is not earlier than `Moment` (0
  // when it is not already), by at most about a microsecond more than
  // needed: a wake-up at that moment never finds it a rounding step away.
  double MillisecondsUntil(TDateTime Moment) const;

  void SetRealTime(bool On);
  bool RealTime() const;

  void Reset();

 private:
  using Steady = std::chrono::steady_clock;
  double ElapsedRealMs() const;  // caller holds mutex_

  mutable std::mutex mutex_;
  // Now is base_ plus offsetMs_ (plus the real time since anchor_ in
  // real-time mode); keeping the offset in milliseconds makes base + d ms
  // exactly the value the core computes for "d ms after base".
  TDateTime base_ = StartTime;      // guarded by mutex_
  double offsetMs_ = 0;             // guarded by mutex_
  double timelineMs_ = 0;           // guarded by mutex_
  bool realTime_ = false;           // guarded by mutex_
  Steady::time_point anchor_;       // guarded by mutex_
};

}  // namespace sim
