// The simulated timer's wake-ups: one-shot events that fire at the earliest
// moment asked since their last callback began.
#include <chrono>

#include "platform/sim/SimTimer.h"

namespace sim {

UINT TimerService::CreateWakeUp(LPTIMECALLBACK Callback, DWORD_PTR User) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto event = std::make_shared<Event>();
  event->Id = NewTimerId();
  event->Callback = Callback;
  event->User = User;
  event->WakeUp = true;
  wakeUps_.emplace(event->Id, event);
  if (realTime_) StartThread(event);
  return event->Id;
}

void TimerService::WakeUpAt(UINT WakeUpId, TDateTime Moment) {
  // Asked before the lock: the clock has a lock of its own, taken here
  // without the service's.
  const double ahead = clock_.MillisecondsUntil(Moment);
  const double at = clock_.TimelineMs() + ahead;
  const Steady::time_point realAt =
      Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double, std::milli>(ahead));
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = wakeUps_.find(WakeUpId);
  if (found == wakeUps_.end()) return;
  Event& event = *found->second;
  if (event.Armed && event.NextDueMs <= at) return;
  event.Armed = true;
  event.NextDueMs = at;
  event.ArmedAt = realAt;
  wake_.notify_all();
}

void TimerService::KillWakeUp(UINT WakeUpId) { Kill(wakeUps_, WakeUpId, false); }

std::size_t TimerService::WakeUps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wakeUps_.size();
}

void TimerService::WakeUpLoop(EventPtr Event) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (Event->Killed || Event->StopThread) return;
    if (!Event->Armed) {
      wake_.wait(lock);
      continue;
    }
    // Woken early by an earlier moment, a kill or a stop: looked at again.
    if (Steady::now() < Event->ArmedAt) {
      wake_.wait_until(lock, Event->ArmedAt);
      continue;
    }
    Event->Armed = false;
    if (!BeginCallback(*Event)) return;
    lock.unlock();
    Event->Callback(Event->Id, 0, Event->User, 0, 0);
    lock.lock();
    EndCallback(*Event);
  }
}

}  // namespace sim
