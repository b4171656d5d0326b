#include "platform/sim/SimTimer.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <utility>

namespace sim {

// Identifiers are never given out twice in the life of the process, so an
// identifier kept from an earlier event can never kill a later one.
UINT TimerService::NewTimerId() {
  static std::atomic<UINT> created{0};  // atomic: events may be created on any thread
  UINT id = created.fetch_add(1, std::memory_order_relaxed) + 1;
  while (id == 0) id = created.fetch_add(1, std::memory_order_relaxed) + 1;
  return id;
}

namespace {
constexpr UINT CallbackTypeBits = 0x0030;  // TIME_CALLBACK_EVENT_SET / _PULSE
}  // namespace

TimerService::~TimerService() { Reset(); }

void TimerService::Record(Call What, std::uintptr_t Handle, std::uintptr_t Arg,
                          MMRESULT Result) {
  calls_.Record(What, -1, Handle, Arg, Result, clock_.Now());
}

template <typename Work>
MMRESULT TimerService::Checked(Call What, std::uintptr_t Arg, Work Task) {
  std::lock_guard<std::mutex> lock(mutex_);
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(What, -1)) {
    result = *failure;  // a record asked for is left as the caller had it
  } else {
    result = Task();
  }
  Record(What, 0, Arg, result);
  return result;
}

MMRESULT TimerService::GetDevCaps(TIMECAPS* Caps, UINT CapsSize) {
  return Checked(Call::TimeGetDevCaps, CapsSize, [&]() -> MMRESULT {
    if (Caps == nullptr || CapsSize < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
    Caps->wPeriodMin = periodMin_;
    Caps->wPeriodMax = periodMax_;
    return TIMERR_NOERROR;
  });
}

MMRESULT TimerService::BeginPeriod(UINT Period) {
  return Checked(Call::TimeBeginPeriod, Period, [&]() -> MMRESULT {
    if (Period < periodMin_ || Period > periodMax_ || Period == 0) return TIMERR_NOCANDO;
    periods_.insert(Period);
    return TIMERR_NOERROR;
  });
}

MMRESULT TimerService::EndPeriod(UINT Period) {
  return Checked(Call::TimeEndPeriod, Period, [&]() -> MMRESULT {
    const auto found = periods_.find(Period);
    if (found == periods_.end()) return TIMERR_NOCANDO;  // no timeBeginPeriod with this period to match
    periods_.erase(found);
    return TIMERR_NOERROR;
  });
}

UINT TimerService::SetEvent(UINT Delay, UINT Resolution, LPTIMECALLBACK Callback, DWORD_PTR User,
                            UINT Flags) {
  static_cast<void>(Resolution);  // the simulated service is as exact as it can be anyway
  std::lock_guard<std::mutex> lock(mutex_);
  UINT id = 0;
  MMRESULT result;
  if (const auto failure = calls_.TakeFailure(Call::TimeSetEvent, -1)) {
    result = *failure;
  } else if (Callback == nullptr || (Flags & CallbackTypeBits) != 0 || Delay == 0 ||
             Delay < periodMin_ || Delay > periodMax_) {
    result = TIMERR_NOCANDO;  // only function callbacks, with a delay the service supports
  } else {
    auto event = std::make_shared<Event>();
    event->Id = id = NewTimerId();
    event->Interval = Delay;
    event->Callback = Callback;
    event->User = User;
    event->Periodic = (Flags & TIME_PERIODIC) != 0;
    event->NextDueMs = clock_.TimelineMs() + Delay;
    running_.emplace(id, event);
    if (realTime_) StartThread(event);
    result = TIMERR_NOERROR;
  }
  Record(Call::TimeSetEvent, id, Delay, result);
  return id;
}

MMRESULT TimerService::KillEvent(UINT TimerId) { return Kill(running_, TimerId, true); }

MMRESULT TimerService::Kill(std::map<UINT, EventPtr>& Events, UINT Id, bool AsTimeKillEvent) {
  std::thread ended;
  MMRESULT result;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto found = Events.find(Id);
    if (const auto failure = AsTimeKillEvent ? calls_.TakeFailure(Call::TimeKillEvent, -1) : std::nullopt) {
      result = *failure;  // the event goes on running
    } else if (found == Events.end()) {
      result = MMSYSERR_INVALPARAM;
    } else {
      const EventPtr event = found->second;
      Events.erase(found);
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
    if (AsTimeKillEvent) Record(Call::TimeKillEvent, Id, 0, result);
  }
  if (ended.joinable()) ended.join();  // it only leaves its loop now
  return result;
}

void TimerService::SetCaps(UINT PeriodMin, UINT PeriodMax) {
  std::lock_guard<std::mutex> lock(mutex_);
  periodMin_ = PeriodMin;
  periodMax_ = PeriodMax;
}

std::size_t TimerService::RunningEvents() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_.size();
}

int TimerService::OutstandingPeriods() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(periods_.size());
}

bool TimerService::BeginCallback(Event& Entry) {
  if (Entry.Killed || Entry.StopThread) return false;
  Entry.InCallback = true;
  Entry.CallbackThread = std::this_thread::get_id();
  return true;
}

void TimerService::EndCallback(Event& Entry) {
  Entry.InCallback = false;
  Entry.CallbackThread = std::thread::id();
  if (!Entry.Periodic && !Entry.WakeUp && !Entry.Killed) {
    // A one-shot event ends with its callback; its identifier is then unknown.
    Entry.Killed = true;
    running_.erase(Entry.Id);
    if (Entry.Thread.joinable()) finished_.push_back(std::move(Entry.Thread));
  }
  callbackDone_.notify_all();
}

void TimerService::FireOnce(const EventPtr& Event) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!BeginCallback(*Event)) return;
  }
  Event->Callback(Event->Id, 0, Event->User, 0, 0);
  std::lock_guard<std::mutex> lock(mutex_);
  EndCallback(*Event);
}

void TimerService::StartThread(const EventPtr& Event) {
  if (Event->WakeUp) {
    Event->Thread = std::thread(&TimerService::WakeUpLoop, this, Event);
    return;
  }
  const Steady::time_point first = Steady::now() + std::chrono::milliseconds(Event->Interval);
  Event->Thread = std::thread(&TimerService::RealTimeLoop, this, Event, first);
}

void TimerService::RealTimeLoop(EventPtr Event, Steady::time_point First) {
  const auto interval = std::chrono::milliseconds(Event->Interval);
  Steady::time_point next = First;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (wake_.wait_until(lock, next, [&] { return Event->Killed || Event->StopThread; })) return;
    if (!BeginCallback(*Event)) return;
    lock.unlock();
    Event->Callback(Event->Id, 0, Event->User, 0, 0);
    lock.lock();
    EndCallback(*Event);
    if (Event->Killed || Event->StopThread) return;
    // A late tick is made up at once, but only one: a thread that fell far
    // behind does not fire a burst.
    next += interval;
    const Steady::time_point now = Steady::now();
    if (next < now) next = now;
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

void TimerService::RunOnServiceThread(const std::function<void()>& Job) {
  bool onServiceThread = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    onServiceThread = std::this_thread::get_id() == serviceId_;
  }
  if (onServiceThread) {
    // Asked from a callback: this is the timer thread already.
    Job();
    return;
  }
  std::lock_guard<std::mutex> serial(tickSerial_);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!service_.joinable()) service_ = std::thread(&TimerService::ServiceLoop, this);
  job_ = &Job;
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

void TimerService::RunFor(double Milliseconds) {
  if (!(Milliseconds >= 0)) throw std::invalid_argument("sim: RunFor needs a duration >= 0");
  const double end = clock_.TimelineMs() + Milliseconds;
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

void TimerService::SetRealTime(bool On) {
  std::vector<std::thread> stopped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (On == realTime_) return;
    realTime_ = On;
    for (auto* events : {&running_, &wakeUps_}) {
      for (const auto& entry : *events) {
        Event& event = *entry.second;
        if (On) {
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
  if (On) return;
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
