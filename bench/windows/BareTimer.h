// The reference of the timer: one periodic timeSetEvent with
// TIME_KILL_SYNCHRONOUS whose callback only notes the moment of each tick,
// in a program whose main thread handles the same input notices at the same
// rate (noting the moment of each). A router that sends each message at the
// first tick at or after its due time could be no later than this timer
// lets it: Lateness() computes that from the two records.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bench/windows/BareInput.h"

namespace bench {

class TBareTimer {
 public:
  // Starts the timer and opens the input; room for MaxTicks ticks and
  // MaxNotices notices is made first, so neither side allocates.
  TBareTimer(UINT IntervalMs, UINT InputDevice, std::size_t MaxTicks, std::size_t MaxNotices);
  ~TBareTimer();  // closes the input, then kills the timer
  TBareTimer(const TBareTimer&) = delete;
  TBareTimer& operator=(const TBareTimer&) = delete;

  bool Running() const { return FTimer != 0 && FInput.Opened(); }
  // After Stop (or destruction is near): the performance-counter time of
  // each tick, and of each notice handled.
  void Stop();
  std::vector<std::int64_t> Ticks() const;
  std::vector<std::int64_t> Notices() const;

 private:
  static void CALLBACK Tick(UINT Id, UINT, DWORD_PTR Self, DWORD_PTR, DWORD_PTR);
  static void Notice(void* Self, DWORD Message);

  std::vector<std::int64_t> FTicks;      // slots written by the timer thread only, before FTickCount counts them
  std::atomic<std::size_t> FTickCount{0};  // release by the timer thread
  std::vector<std::int64_t> FNotices;    // main thread only
  std::size_t FNoticeCount = 0;          // main thread only
  UINT FTimer = 0;
  TBareInput FInput;                     // opened after the timer started
};

// For each message noticed at Notices[i] and due DelayMs[i] later: how
// late, in milliseconds, the first of Ticks at or after its due time came.
// Messages due after the last tick are left out.
std::vector<double> FirstTickLateness(const std::vector<std::int64_t>& Ticks, const std::vector<std::int64_t>& Notices,
                                      const std::vector<int>& DelayMs);

}  // namespace bench
