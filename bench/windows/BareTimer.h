// The reference of the timer: a bare delayed router. One periodic
// timeSetEvent with TIME_KILL_SYNCHRONOUS; the input opened with window
// notification, whose notice handler (on the main thread, at the rate the
// notices come) notes each short message with its due time in a
// first-in-first-out list per output; each tick sends what is due from each
// list with midiOutShortMsg. Nothing waits for anything: each list has one
// writer and one reader and is never full. Every output's messages come due
// in arrival order, since each output has one delay.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "bench/windows/BareInput.h"

namespace bench {

struct TBareOutput {
  UINT Device = 0;
  int DelayMs = 0;
};

class TBareTimer {
 public:
  // OutputOfChannel[c]: the index in Outputs that channel c goes to. Room
  // for Capacity messages and ticks is made first.
  TBareTimer(UINT IntervalMs, UINT InputDevice, const std::vector<TBareOutput>& Outputs,
             const std::vector<int>& OutputOfChannel, std::size_t Capacity);
  ~TBareTimer();  // closes the input, stops the timer, then the outputs
  TBareTimer(const TBareTimer&) = delete;
  TBareTimer& operator=(const TBareTimer&) = delete;

  bool Running() const;
  void Stop();
  // After Stop: the performance-counter time of each tick, and the due time
  // of each message noted for Outputs[Output], in arrival order.
  std::vector<std::int64_t> Ticks() const;
  std::vector<std::int64_t> DueTimes(std::size_t Output) const;

 private:
  struct TPending {
    std::int64_t Due = 0;
    DWORD Message = 0;
  };
  struct TRoute {
    HMIDIOUT Output = nullptr;
    std::int64_t Delay = 0;            // performance-counter units
    std::vector<TPending> Pending;     // a slot is the main thread's until Written counts it
    std::atomic<std::size_t> Written{0};  // release by the main thread
    std::size_t Sent = 0;              // timer thread only
  };
  static void CALLBACK Tick(UINT Id, UINT, DWORD_PTR Self, DWORD_PTR, DWORD_PTR);
  static void Notice(void* Self, DWORD Message);

  std::vector<std::unique_ptr<TRoute>> FRoutes;  // built before the timer starts, closed after it stops
  std::vector<int> FRouteOfChannel;
  std::vector<std::int64_t> FTicks;        // slots written by the timer thread only, before FTickCount counts them
  std::atomic<std::size_t> FTickCount{0};  // release by the timer thread
  UINT FTimer = 0;
  TBareInput FInput;                       // opened after the timer started, closed first
};

}  // namespace bench
