// The router's periodic timer over the real multimedia timer service.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "midi/MMTimer.h"
#include "platform/MmSystem.h"

namespace {

struct TickCounter {
  std::atomic<int> ticks{0};
  std::atomic<int> running{0};   // ticks inside the handler right now
  std::atomic<int> overlaps{0};  // a tick that started while another ran
  std::atomic<DWORD> thread{0};
  int workMs = 0;

  void Attach(TMMTimer& Timer) {
    Timer.OnTimer = [this](TMMTimer&) {
      if (running.fetch_add(1) != 0) ++overlaps;
      thread = GetCurrentThreadId();
      if (workMs > 0) Sleep(static_cast<DWORD>(workMs));
      ++ticks;
      running.fetch_sub(1);
    };
  }
};

}  // namespace

TEST(TimerOverWinmm, TicksAtTheSmallestAndTheDefaultIntervalOffTheMainThread) {
  for (UINT interval : {1u, 4u}) {
    TMMTimer timer;
    TickCounter counter;
    EXPECT_EQ(timer.PeriodMin(), 1u);
    timer.SetInterval(interval);
    counter.Attach(timer);
    timer.SetEnabled(true);
    ASSERT_NE(timer.TimerID(), 0u);
    Sleep(500);
    timer.SetEnabled(false);
    EXPECT_EQ(timer.TimerID(), 0u);
    const int expected = static_cast<int>(500 / interval);
    EXPECT_GT(counter.ticks, expected * 6 / 10) << interval << " ms";
    EXPECT_LT(counter.ticks, expected * 13 / 10 + 2) << interval << " ms";
    EXPECT_NE(counter.thread, GetCurrentThreadId());
    EXPECT_EQ(counter.overlaps, 0);
  }
}

TEST(TimerOverWinmm, NoTickRunsOnceStoppingHasReturnedEvenWhenTicksAreSlow) {
  TMMTimer timer;
  TickCounter counter;
  counter.workMs = 3;  // longer than the period: ticks queue up behind each other
  timer.SetInterval(1);
  counter.Attach(timer);
  for (int round = 0; round < 100; ++round) {
    timer.SetEnabled(true);
    Sleep(round % 4);
    timer.SetEnabled(false);
    ASSERT_EQ(counter.running, 0) << "round " << round << ": a tick ran after SetEnabled(false) returned";
    const int stopped = counter.ticks;
    Sleep(round % 3 == 0 ? 5 : 0);
    ASSERT_EQ(counter.ticks, stopped) << "round " << round << ": a tick started after the stop";
  }
  EXPECT_EQ(counter.overlaps, 0);
}

TEST(TimerOverWinmm, DestroyingARunningTimerWaitsForItsTick) {
  TickCounter counter;
  counter.workMs = 20;
  {
    TMMTimer timer;
    timer.SetInterval(1);
    counter.Attach(timer);
    timer.SetEnabled(true);
    while (counter.running == 0) Sleep(0);
  }
  EXPECT_EQ(counter.running, 0);
  const int atDestroy = counter.ticks;
  Sleep(30);
  EXPECT_EQ(counter.ticks, atDestroy);
}

TEST(TimerOverWinmm, ChangingTheIntervalWhileRunningRestartsAtTheNewPeriod) {
  TMMTimer timer;
  TickCounter counter;
  timer.SetInterval(20);
  counter.Attach(timer);
  timer.SetEnabled(true);
  Sleep(200);
  const int slow = counter.ticks.exchange(0);
  timer.SetInterval(2);
  Sleep(200);
  timer.SetEnabled(false);
  const int fast = counter.ticks;
  EXPECT_GE(slow, 5);
  EXPECT_LE(slow, 12);
  EXPECT_GT(fast, 4 * slow) << "slow " << slow << ", fast " << fast;
}
