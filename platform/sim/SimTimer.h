// The simulated multimedia timer service. Callbacks never run on the caller's
// thread: in manual mode one service thread runs the ticks the test asks
// for, in real-time mode every event has a thread of its own that fires at
// its interval against the steady clock. Killing an event is synchronous.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/sim/SimCallLog.h"
#include "platform/sim/SimClock.h"

namespace sim {

class TimerService {
 public:
  static constexpr UINT DefaultPeriodMin = 1;
  static constexpr UINT DefaultPeriodMax = 1000000;

  TimerService(CallLog& Calls, Clock& MachineClock) : calls_(Calls), clock_(MachineClock) {}
  ~TimerService();
  TimerService(const TimerService&) = delete;
  TimerService& operator=(const TimerService&) = delete;

  MMRESULT GetDevCaps(TIMECAPS* Caps, UINT CapsSize);
  MMRESULT BeginPeriod(UINT Period);
  MMRESULT EndPeriod(UINT Period);
  UINT SetEvent(UINT Delay, UINT Resolution, LPTIMECALLBACK Callback, DWORD_PTR User, UINT Flags);
  MMRESULT KillEvent(UINT TimerId);

  // Wake-ups (platform::wakeUpCreate and its kin): events of their own, not
  // among the running ones, that fire at the earliest moment asked since
  // their last callback began. RunFor stops at that moment exactly; TickTimer
  // leaves them alone. In real-time mode each has a thread of its own.
  UINT CreateWakeUp(LPTIMECALLBACK Callback, DWORD_PTR User);
  void WakeUpAt(UINT WakeUpId, TDateTime Moment);
  void KillWakeUp(UINT WakeUpId);
  std::size_t WakeUps() const;

  void SetCaps(UINT PeriodMin, UINT PeriodMax);
  std::size_t RunningEvents() const;
  int OutstandingPeriods() const;

  // Manual mode only (they throw std::logic_error in real-time mode).
  void Tick();
  void RunFor(double Milliseconds);

  // Real-time mode; the clock is switched by the caller (on before, off after).
  void SetRealTime(bool On);

  // Kills every event, waits for every callback and stops every thread.
  void Reset();

 private:
  using Steady = std::chrono::steady_clock;

  struct Event {
    UINT Id = 0;
    UINT Interval = 0;
    LPTIMECALLBACK Callback = nullptr;
    DWORD_PTR User = 0;
    bool Periodic = false;
    bool WakeUp = false;
    bool Armed = false;                // guarded by mutex_; a wake-up's moment is asked
    Steady::time_point ArmedAt;        // guarded by mutex_; that moment in real-time mode
    bool Killed = false;               // guarded by mutex_
    bool StopThread = false;           // guarded by mutex_; leaving real-time mode
    bool InCallback = false;           // guarded by mutex_
    std::thread::id CallbackThread;    // guarded by mutex_
    double NextDueMs = 0;              // guarded by mutex_; on the manual clock's timeline
    std::thread Thread;                // guarded by mutex_; real-time mode only
  };
  using EventPtr = std::shared_ptr<Event>;

  static UINT NewTimerId();

  bool BeginCallback(Event& Entry);                      // caller holds mutex_
  void EndCallback(Event& Entry);                        // caller holds mutex_
  void FireOnce(const EventPtr& Event);                  // takes mutex_ itself
  void StartThread(const EventPtr& Event);               // caller holds mutex_
  void RealTimeLoop(EventPtr Event, Steady::time_point First);
  void WakeUpLoop(EventPtr Event);
  // Unlinks the event from `Events` and waits for its callback in progress;
  // as timeKillEvent (recorded, failures injected) or as a wake-up's end.
  MMRESULT Kill(std::map<UINT, EventPtr>& Events, UINT Id, bool AsTimeKillEvent);
  // Runs `Job` on the manual service thread and waits until it has run.
  void RunOnServiceThread(const std::function<void()>& Job);
  void ServiceLoop();
  // The skeleton of the calls on no handle: failure injection, then the
  // work; recorded with its result. Takes mutex_.
  template <typename Work>
  MMRESULT Checked(Call What, std::uintptr_t Arg, Work Task);
  void Record(Call What, std::uintptr_t Handle, std::uintptr_t Arg, MMRESULT Result);

  CallLog& calls_;
  Clock& clock_;

  mutable std::mutex mutex_;
  std::condition_variable callbackDone_;  // with mutex_: an InCallback went false
  std::condition_variable wake_;          // with mutex_: a real-time event was killed or stopped
  std::map<UINT, EventPtr> running_;      // guarded by mutex_; in id order
  std::map<UINT, EventPtr> wakeUps_;      // guarded by mutex_
  std::multiset<UINT> periods_;           // guarded by mutex_; outstanding timeBeginPeriod
  UINT periodMin_ = DefaultPeriodMin;     // guarded by mutex_
  UINT periodMax_ = DefaultPeriodMax;     // guarded by mutex_
  bool realTime_ = false;                 // guarded by mutex_
  std::vector<std::thread> finished_;     // guarded by mutex_; threads that ended themselves

  // The manual service thread and its one job at a time.
  std::mutex tickSerial_;                 // one Tick/RunFor step at a time
  std::condition_variable serviceWake_;   // with mutex_: a job or a stop is pending
  std::condition_variable jobDone_;       // with mutex_: the pending job has run
  std::thread service_;                   // guarded by mutex_
  std::thread::id serviceId_;             // guarded by mutex_
  const std::function<void()>* job_ = nullptr;  // guarded by mutex_
  bool stopService_ = false;              // guarded by mutex_
};

}  // namespace sim
