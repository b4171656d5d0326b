// The reference of the wake-ups: a bare delayed router that sleeps until each
// message's due time the best ways the system offers without spinning. The
// input opened with window notification, whose notice handler (on the main
// thread) notes each short message with its due time in a first-in-first-out
// list per output; one sender thread waits for the earliest due time of the
// lists' heads, sends what is due with midiOutShortMsg, and waits again. A
// notice whose message is due before what the sender waits for wakes it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "bench/windows/BareInput.h"

namespace bench {

struct TBareOutput {
  UINT Device = 0;
  int DelayMs = 0;
};

// How the sender sleeps until a due time.
enum class TBareSleep {
  // A one-shot timeSetEvent of the whole milliseconds to go, at 1 ms
  // resolution, that sets an event; it may come before the due time (it
  // counts whole milliseconds), and then the rest is slept again.
  OneShotTimer,
  // A waitable timer set to the due time, created high-resolution where the
  // system has such timers (looked up at run time), plain elsewhere.
  WaitableTimer,
};
const char* SleepName(TBareSleep Sleep);

class TBareWakeUp {
 public:
  // OutputOfChannel[c]: the index in Outputs that channel c goes to. Room
  // for Capacity messages per output is made first.
  TBareWakeUp(TBareSleep Sleep, UINT InputDevice, const std::vector<TBareOutput>& Outputs,
              const std::vector<int>& OutputOfChannel, std::size_t Capacity);
  ~TBareWakeUp();  // closes the input, stops the sender, then the outputs
  TBareWakeUp(const TBareWakeUp&) = delete;
  TBareWakeUp& operator=(const TBareWakeUp&) = delete;

  bool Running() const;
  void Stop();
  // After Stop: the due time of each message noted for Outputs[Output], in
  // arrival order (performance-counter time).
  std::vector<std::int64_t> DueTimes(std::size_t Output) const;

 private:
  struct TPending {
    std::int64_t Due = 0;
    DWORD Message = 0;
  };
  struct TRoute {
    HMIDIOUT Output = nullptr;
    std::int64_t Delay = 0;                // performance-counter units
    std::vector<TPending> Pending;         // a slot is the main thread's until Written counts it
    std::atomic<std::size_t> Written{0};   // by the main thread
    std::size_t Sent = 0;                  // sender thread only
  };
  static constexpr std::int64_t NothingDue = INT64_MAX;

  static void Notice(void* Self, DWORD Message);
  void Send();
  std::int64_t EarliestDue() const;  // sender thread
  void SleepUntil(std::int64_t Due);  // sender thread; returns early on a notice or a stop

  const TBareSleep FSleep;
  std::vector<std::unique_ptr<TRoute>> FRoutes;  // built before the sender starts, closed after it stops
  std::vector<int> FRouteOfChannel;
  HANDLE FArrived = nullptr;   // set by a notice that is due before FWaitingFor
  HANDLE FStopped = nullptr;
  HANDLE FFired = nullptr;     // set by the one-shot event
  HANDLE FTimer = nullptr;     // the waitable timer
  std::atomic<std::int64_t> FWaitingFor{NothingDue};  // the sender's next due time
  std::thread FSender;
  TBareInput FInput;  // opened after the sender started, closed first
};

}  // namespace bench
