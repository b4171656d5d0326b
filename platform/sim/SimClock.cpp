#include "platform/sim/SimClock.h"

#include <stdexcept>

namespace sim {

Clock::Clock() { Reset(); }

double Clock::ElapsedRealMs() const {
  return std::chrono::duration<double, std::milli>(Steady::now() - anchor_).count();
}

TDateTime Clock::Now() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const double offset = realTime_ ? offsetMs_ + ElapsedRealMs() : offsetMs_;
  return base_ + offset / MillisecondsPerDay;
}

void Clock::Set(TDateTime Now) {
  std::lock_guard<std::mutex> lock(mutex_);
  base_ = Now;
  offsetMs_ = 0;
  if (realTime_) anchor_ = Steady::now();
}

void Clock::Advance(double Milliseconds) {
  if (!(Milliseconds >= 0)) throw std::invalid_argument("sim: the clock only moves forward");
  std::lock_guard<std::mutex> lock(mutex_);
  offsetMs_ += Milliseconds;
  timelineMs_ += Milliseconds;
}

double Clock::TimelineMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timelineMs_;
}

double Clock::MillisecondsUntil(TDateTime Moment) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const double offset = realTime_ ? offsetMs_ + ElapsedRealMs() : offsetMs_;
  const auto after = [&](double ms) { return base_ + (offset + ms) / MillisecondsPerDay; };
  double ms = (Moment - after(0)) * MillisecondsPerDay;
  if (!(ms > 0)) return 0;
  // Now moves in steps of about half a microsecond this far from the
  // epoch; the step that crosses the moment is found in a few doublings.
  for (double step = 1e-9; after(ms) < Moment; step *= 2) ms += step;
  return ms;
}

void Clock::SetRealTime(bool On) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (On == realTime_) return;
  if (On) {
    anchor_ = Steady::now();
  } else {
    // The manual clock goes on from where real time had got to.
    const double elapsed = ElapsedRealMs();
    offsetMs_ += elapsed;
    timelineMs_ += elapsed;
  }
  realTime_ = On;
}

bool Clock::RealTime() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return realTime_;
}

void Clock::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  base_ = StartTime;
  offsetMs_ = 0;
  timelineMs_ = 0;
  realTime_ = false;
  anchor_ = Steady::now();
}

}  // namespace sim
