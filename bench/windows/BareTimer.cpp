#include "bench/windows/BareTimer.h"

#include <algorithm>

#include "VirtualMidiEnvironment.h"

namespace bench {

TBareTimer::TBareTimer(UINT IntervalMs, UINT InputDevice, std::size_t MaxTicks, std::size_t MaxNotices)
    : FTicks(MaxTicks, 0),
      FNotices(MaxNotices, 0),
      FTimer((timeBeginPeriod(1),
              timeSetEvent(IntervalMs, 1, &TBareTimer::Tick, reinterpret_cast<DWORD_PTR>(this),
                           TIME_PERIODIC | TIME_KILL_SYNCHRONOUS | TIME_CALLBACK_FUNCTION))),
      FInput(InputDevice, &TBareTimer::Notice, this) {}

TBareTimer::~TBareTimer() { Stop(); }

void TBareTimer::Stop() {
  if (FTimer == 0) return;
  timeKillEvent(FTimer);
  timeEndPeriod(1);
  FTimer = 0;
}

void CALLBACK TBareTimer::Tick(UINT, UINT, DWORD_PTR Self, DWORD_PTR, DWORD_PTR) {
  auto* timer = reinterpret_cast<TBareTimer*>(Self);
  const std::size_t n = timer->FTickCount.load(std::memory_order_relaxed);
  if (n == timer->FTicks.size()) return;
  timer->FTicks[n] = QpcNow();
  timer->FTickCount.store(n + 1, std::memory_order_release);
}

void TBareTimer::Notice(void* Self, DWORD) {
  auto* timer = static_cast<TBareTimer*>(Self);
  if (timer->FNoticeCount < timer->FNotices.size()) timer->FNotices[timer->FNoticeCount++] = QpcNow();
}

std::vector<std::int64_t> TBareTimer::Ticks() const {
  return {FTicks.begin(), FTicks.begin() + static_cast<std::ptrdiff_t>(FTickCount.load(std::memory_order_acquire))};
}

std::vector<std::int64_t> TBareTimer::Notices() const {
  return {FNotices.begin(), FNotices.begin() + static_cast<std::ptrdiff_t>(FNoticeCount)};
}

std::vector<double> FirstTickLateness(const std::vector<std::int64_t>& Ticks, const std::vector<std::int64_t>& Notices,
                                      const std::vector<int>& DelayMs) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> lateness;
  for (std::size_t i = 0; i < Notices.size() && i < DelayMs.size(); ++i) {
    const std::int64_t due = Notices[i] + DelayMs[i] * frequency.QuadPart / 1000;
    const auto tick = std::lower_bound(Ticks.begin(), Ticks.end(), due);
    if (tick == Ticks.end()) continue;
    lateness.push_back(QpcToMilliseconds(*tick - due));
  }
  return lateness;
}

}  // namespace bench
