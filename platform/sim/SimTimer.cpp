#include "platform/sim/SimTimer.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <utility>

namespace sim {

namespace {
// Identifiers are never given out twice in the life of the process, so an
// identifier kept from an earlier event can never kill a later one.
UINT NewTimerId() {
  static std::atomic<UINT> created{0};  // atomic: events may be created on any thread
  UINT id = created.fetch_add(1, std::memory_order_relaxed) + 1;
  while (id == 0) id = created.fetch_add(1, std::memory_order_relaxed) + 1;
  return id;
}

constexpr UINT CallbackTypeBits = 0x0030;  // TIME_CALLBACK_EVENT_SET / _PULSE
}  // namespace

TimerService::~TimerService() { Reset(); }

void TimerService::Record(Call what, std::uintptr_t handle, std::uintptr_t arg,
                          MMRESULT result) {
  calls_.Record(what, -1, handle, arg, result, clock_.Now());
}

MMRESULT TimerService::GetDevCaps(TIMECAPS* caps, UINT capsSize) {
  std::lock_guard<std::mutex> lock(mutex_);
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::TimeGetDevCaps, -1)) {
    result = *failure;  // the record is left as the caller had it
  } else if (caps == nullptr || capsSize < sizeof(TIMECAPS)) {
    result = TIMERR_NOCANDO;
  } else {
    caps->wPeriodMin = periodMin_;
    caps->wPeriodMax = periodMax_;
    result = TIMERR_NOERROR;
  }
  Record(Call::TimeGetDevCaps, 0, capsSize, result);
  return result;
}

MMRESULT TimerService::BeginPeriod(UINT period) {
  std::lock_guard<std::mutex> lock(mutex_);
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::TimeBeginPeriod, -1)) {
    result = *failure;
  } else if (period < periodMin_ || period > periodMax_ || period == 0) {
    result = TIMERR_NOCANDO;
  } else {
    periods_.insert(period);
    result = TIMERR_NOERROR;
  }
  Record(Call::TimeBeginPeriod, 0, period, result);
  return result;
}

MMRESULT TimerService::EndPeriod(UINT period) {
  std::lock_guard<std::mutex> lock(mutex_);
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::TimeEndPeriod, -1)) {
    result = *failure;
  } else if (const auto found = periods_.find(period); found == periods_.end()) {
    result = TIMERR_NOCANDO;  // no timeBeginPeriod with this period to match
  } else {
    periods_.erase(found);
    result = TIMERR_NOERROR;
  }
  Record(Call::TimeEndPeriod, 0, period, result);
  return result;
}

UINT TimerService::SetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user,
                            UINT flags) {
  static_cast<void>(resolution);  // the simulated service is as exact as it can be anyway
  std::lock_guard<std::mutex> lock(mutex_);
  UINT id = 0;
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::TimeSetEvent, -1)) {
    result = *failure;
  } else if (callback == nullptr || (flags & CallbackTypeBits) != 0 || delay == 0 ||
             delay < periodMin_ || delay > periodMax_) {
    result = TIMERR_NOCANDO;  // only function callbacks, with a delay the service supports
  } else {
    auto event = std::make_shared<Event>();
    event->Id = id = NewTimerId();
    event->Interval = delay;
    event->Callback = callback;
    event->User = user;
    event->Periodic = (flags & TIME_PERIODIC) != 0;
    event->NextDueMs = clock_.TimelineMs() + delay;
    running_.emplace(id, event);
    if (realTime_) StartThread(event);
    result = TIMERR_NOERROR;
  }
  Record(Call::TimeSetEvent, id, delay, result);
  return id;
}

MMRESULT TimerService::KillEvent(UINT timerId) { return Kill(running_, timerId, true); }

MMRESULT TimerService::Kill(std::map<UINT, EventPtr>& events, UINT id, bool asTimeKillEvent) {
  std::thread ended;
  MMRESULT result;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto found = events.find(id);
    if (const auto failure = asTimeKillEvent ? calls_.TakeFailure(Call::TimeKillEvent, -1) : std::nullopt) {
      result = *failure;  // the event goes on running
    } else if (found == events.end()) {
      result = MMSYSERR_INVALPARAM;
    } else {
      const EventPtr event = found->second;
      events.erase(found);
      event->Killed = true;
      wake_.notify_all();
      // Synchronous: a callback in progress on another thread is waited for.
      // From within the event's own callback there is nothing to wait for:
      // it returns into a loop that sees the event killed.
      const std::thread::id self = std::this_thread::get_id();
      callbackDone_.wait(lock, [&] { return !event->InCallback || event->CallbackThread == self; });
      if (event->Thread.joinable()) {
        if (event->Thread.get_id() == self) {
          finished_.push_back(std::move(event->Thread));
        } else {
          ended = std::move(event->Thread);
        }
      }
      result = TIMERR_NOERROR;
    }
    if (asTimeKillEvent) Record(Call::TimeKillEvent, id, 0, result);
  }
  if (ended.joinable()) ended.join();  // it only leaves its loop now
  return result;
}

UINT TimerService::CreateWakeUp(LPTIMECALLBACK callback, DWORD_PTR user) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto event = std::make_shared<Event>();
  event->Id = NewTimerId();
  event->Callback = callback;
  event->User = user;
  event->WakeUp = true;
  wakeUps_.emplace(event->Id, event);
  if (realTime_) StartThread(event);
  return event->Id;
}

void TimerService::WakeUpAt(UINT wakeUpId, TDateTime moment) {
  // Asked before the lock: the clock has a lock of its own, taken here
  // without the service's.
  const double ahead = clock_.MillisecondsUntil(moment);
  const double at = clock_.TimelineMs() + ahead;
  const Steady::time_point realAt =
      Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double, std::milli>(ahead));
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = wakeUps_.find(wakeUpId);
  if (found == wakeUps_.end()) return;
  Event& event = *found->second;
  if (event.Armed && event.NextDueMs <= at) return;
  event.Armed = true;
  event.NextDueMs = at;
  event.ArmedAt = realAt;
  wake_.notify_all();
}

void TimerService::KillWakeUp(UINT wakeUpId) { Kill(wakeUps_, wakeUpId, false); }

std::size_t TimerService::WakeUps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wakeUps_.size();
}

void TimerService::SetCaps(UINT periodMin, UINT periodMax) {
  std::lock_guard<std::mutex> lock(mutex_);
  periodMin_ = periodMin;
  periodMax_ = periodMax;
}

std::size_t TimerService::RunningEvents() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_.size();
}

int TimerService::OutstandingPeriods() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(periods_.size());
}

bool TimerService::BeginCallback(Event& event) {
  if (event.Killed || event.StopThread) return false;
  event.InCallback = true;
  event.CallbackThread = std::this_thread::get_id();
  return true;
}

void TimerService::EndCallback(Event& event) {
  event.InCallback = false;
  event.CallbackThread = std::thread::id();
  if (!event.Periodic && !event.WakeUp && !event.Killed) {
    // A one-shot event ends with its callback; its identifier is then unknown.
    event.Killed = true;
    running_.erase(event.Id);
    if (event.Thread.joinable()) finished_.push_back(std::move(event.Thread));
  }
  callbackDone_.notify_all();
}

void TimerService::FireOnce(const EventPtr& event) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!BeginCallback(*event)) return;
  }
  event->Callback(event->Id, 0, event->User, 0, 0);
  std::lock_guard<std::mutex> lock(mutex_);
  EndCallback(*event);
}

void TimerService::StartThread(const EventPtr& event) {
  if (event->WakeUp) {
    event->Thread = std::thread(&TimerService::WakeUpLoop, this, event);
    return;
  }
  const Steady::time_point first = Steady::now() + std::chrono::milliseconds(event->Interval);
  event->Thread = std::thread(&TimerService::RealTimeLoop, this, event, first);
}

void TimerService::RealTimeLoop(EventPtr event, Steady::time_point first) {
  const auto interval = std::chrono::milliseconds(event->Interval);
  Steady::time_point next = first;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (wake_.wait_until(lock, next, [&] { return event->Killed || event->StopThread; })) return;
    if (!BeginCallback(*event)) return;
    lock.unlock();
    event->Callback(event->Id, 0, event->User, 0, 0);
    lock.lock();
    EndCallback(*event);
    if (event->Killed || event->StopThread) return;
    // A late tick is made up at once, but only one: a thread that fell far
    // behind does not fire a burst.
    next += interval;
    const Steady::time_point now = Steady::now();
    if (next < now) next = now;
  }
}

void TimerService::WakeUpLoop(EventPtr event) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (event->Killed || event->StopThread) return;
    if (!event->Armed) {
      wake_.wait(lock);
      continue;
    }
    // Woken early by an earlier moment, a kill or a stop: looked at again.
    if (Steady::now() < event->ArmedAt) {
      wake_.wait_until(lock, event->ArmedAt);
      continue;
    }
    event->Armed = false;
    if (!BeginCallback(*event)) return;
    lock.unlock();
    event->Callback(event->Id, 0, event->User, 0, 0);
    lock.lock();
    EndCallback(*event);
  }
}

void TimerService::ServiceLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  serviceId_ = std::this_thread::get_id();
  for (;;) {
    serviceWake_.wait(lock, [this] { return job_ != nullptr || stopService_; });
    if (stopService_) return;
    const std::function<void()>* job = job_;
    lock.unlock();
    (*job)();
    lock.lock();
    job_ = nullptr;
    jobDone_.notify_all();
  }
}

void TimerService::RunOnServiceThread(const std::function<void()>& job) {
  bool onServiceThread = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    onServiceThread = std::this_thread::get_id() == serviceId_;
  }
  if (onServiceThread) {
    // Asked from a callback: this is the timer thread already.
    job();
    return;
  }
  std::lock_guard<std::mutex> serial(tickSerial_);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!service_.joinable()) service_ = std::thread(&TimerService::ServiceLoop, this);
  job_ = &job;
  serviceWake_.notify_all();
  jobDone_.wait(lock, [this] { return job_ == nullptr; });
}

void TimerService::Tick() {
  std::vector<EventPtr> events;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (realTime_) throw std::logic_error("sim: TickTimer in real-time mode");
    for (const auto& entry : running_) events.push_back(entry.second);
  }
  const std::function<void()> job = [&] {
    for (const EventPtr& event : events) FireOnce(event);
  };
  RunOnServiceThread(job);
}

void TimerService::RunFor(double milliseconds) {
  if (!(milliseconds >= 0)) throw std::invalid_argument("sim: RunFor needs a duration >= 0");
  const double end = clock_.TimelineMs() + milliseconds;
  for (;;) {
    std::vector<EventPtr> due;
    double at = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (realTime_) throw std::logic_error("sim: RunFor in real-time mode");
      bool any = false;
      const auto consider = [&](const Event& event) {
        if (!any || event.NextDueMs < at) at = event.NextDueMs;
        any = true;
      };
      for (const auto& entry : running_) consider(*entry.second);
      for (const auto& entry : wakeUps_)
        if (entry.second->Armed) consider(*entry.second);
      if (!any || at > end) break;
      for (const auto& entry : running_) {
        if (entry.second->NextDueMs <= at) {
          due.push_back(entry.second);
          entry.second->NextDueMs += entry.second->Interval;
        }
      }
      for (const auto& entry : wakeUps_) {
        if (entry.second->Armed && entry.second->NextDueMs <= at) {
          due.push_back(entry.second);
          entry.second->Armed = false;
        }
      }
    }
    const double now = clock_.TimelineMs();
    if (at > now) clock_.Advance(at - now);
    const std::function<void()> job = [&] {
      for (const EventPtr& event : due) FireOnce(event);
    };
    RunOnServiceThread(job);
  }
  const double now = clock_.TimelineMs();
  if (end > now) clock_.Advance(end - now);
}

void TimerService::SetRealTime(bool on) {
  std::vector<std::thread> stopped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (on == realTime_) return;
    realTime_ = on;
    for (auto* events : {&running_, &wakeUps_}) {
      for (const auto& entry : *events) {
        Event& event = *entry.second;
        if (on) {
          const double ahead = std::max(0.0, event.NextDueMs - clock_.TimelineMs());
          event.ArmedAt = Steady::now() + std::chrono::duration_cast<Steady::duration>(
                                              std::chrono::duration<double, std::milli>(ahead));
          StartThread(entry.second);
        } else {
          event.StopThread = true;
          if (event.Thread.joinable()) stopped.push_back(std::move(event.Thread));
        }
      }
    }
    for (std::thread& thread : finished_) stopped.push_back(std::move(thread));
    finished_.clear();
    wake_.notify_all();
  }
  for (std::thread& thread : stopped) thread.join();
  if (on) return;
  // Back on the manual timeline: each event is next due one interval from now.
  std::lock_guard<std::mutex> lock(mutex_);
  const double now = clock_.TimelineMs();
  for (const auto& entry : running_) {
    entry.second->StopThread = false;
    entry.second->NextDueMs = now + entry.second->Interval;
  }
  for (const auto& entry : wakeUps_) {
    entry.second->StopThread = false;
    const double ahead = std::chrono::duration<double, std::milli>(entry.second->ArmedAt - Steady::now()).count();
    entry.second->NextDueMs = now + std::max(0.0, ahead);
  }
}

void TimerService::Reset() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : running_) {
      entry.second->Killed = true;
      if (entry.second->Thread.joinable()) threads.push_back(std::move(entry.second->Thread));
    }
    running_.clear();
    for (const auto& entry : wakeUps_) {
      entry.second->Killed = true;
      if (entry.second->Thread.joinable()) threads.push_back(std::move(entry.second->Thread));
    }
    wakeUps_.clear();
    for (std::thread& thread : finished_) threads.push_back(std::move(thread));
    finished_.clear();
    if (service_.joinable()) {
      stopService_ = true;
      threads.push_back(std::move(service_));
    }
    wake_.notify_all();
    serviceWake_.notify_all();
  }
  for (std::thread& thread : threads) thread.join();
  std::lock_guard<std::mutex> lock(mutex_);
  stopService_ = false;
  serviceId_ = std::thread::id();
  periods_.clear();
  periodMin_ = DefaultPeriodMin;
  periodMax_ = DefaultPeriodMax;
  realTime_ = false;
}

}  // namespace sim
