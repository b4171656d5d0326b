// The periodic timer over the simulated timer service: when it runs, how it
// clamps, that its resolution requests pair up, and that no tick runs once
// a stop has returned.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "midi/MMTimer.h"
#include "platform/sim/SimDriver.h"

namespace {

class Timer : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetTimerCaps(1, 1000);
  }
  void TearDown() override { EXPECT_EQ(sim::OutstandingTimerPeriods(), 0); }
  std::atomic<int> ticks{0};
  void Count(TMMTimer& T) {
    T.OnTimer = [this](TMMTimer&) { ++ticks; };
  }
};

TEST_F(Timer, ANewTimerIsStoppedWithAOneSecondInterval) {
  TMMTimer t;
  EXPECT_EQ(t.Interval(), 1000u);
  EXPECT_FALSE(t.Enabled());
  EXPECT_EQ(t.Resolution(), 1u);
  EXPECT_EQ(sim::RunningTimerEvents(), 0u);
}

TEST_F(Timer, RunsOnlyWhenEnabledWithAHandlerAndStartsOnlyOnAChange) {
  TMMTimer t;
  t.SetEnabled(true);
  EXPECT_EQ(sim::RunningTimerEvents(), 0u) << "no handler yet";
  Count(t);
  EXPECT_EQ(sim::RunningTimerEvents(), 0u) << "assigning the handler starts nothing";
  t.SetInterval(4);
  EXPECT_EQ(sim::RunningTimerEvents(), 1u);
  sim::TickTimer();
  sim::TickTimer();
  EXPECT_EQ(ticks, 2);
  const auto created = sim::Calls(sim::Call::TimeSetEvent);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].Arg, 4u);
}

TEST_F(Timer, IntervalsAreClampedToTheServiceRange) {
  TMMTimer t;
  const struct {
    UINT set, stored;
  } cases[] = {{0, 1}, {4, 4}, {1000, 1000}, {5000, 1000}, {static_cast<UINT>(-1), 1000}};
  for (const auto& c : cases) {
    t.SetInterval(c.set);
    EXPECT_EQ(t.Interval(), c.stored) << c.set;
  }
}

TEST_F(Timer, RestartsOnEveryChangeButNotForTheStoredValue) {
  TMMTimer t;
  Count(t);
  t.SetInterval(4);
  t.SetEnabled(true);
  sim::ClearCalls();
  t.SetInterval(4);
  EXPECT_TRUE(sim::Calls().empty()) << "the stored value neither stops nor restarts";
  t.SetInterval(0);
  t.SetInterval(0);  // clamps to the stored 1, yet compares as a change
  EXPECT_EQ(sim::Calls(sim::Call::TimeKillEvent).size(), 2u);
  EXPECT_EQ(sim::Calls(sim::Call::TimeSetEvent).size(), 2u);
  EXPECT_EQ(sim::RunningTimerEvents(), 1u);
}

TEST_F(Timer, EveryResolutionRequestIsReleasedOnceAlsoWhenTheEventIsRefused) {
  TMMTimer t;
  Count(t);
  t.SetInterval(4);
  sim::FailCall(sim::Call::TimeSetEvent, 0, 1);
  t.SetEnabled(true);
  EXPECT_EQ(t.TimerID(), 0u);
  EXPECT_EQ(sim::OutstandingTimerPeriods(), 0);
  EXPECT_EQ(sim::RunningTimerEvents(), 0u);
  t.SetInterval(5);  // the next change tries again
  EXPECT_NE(t.TimerID(), 0u);
  EXPECT_EQ(sim::OutstandingTimerPeriods(), 1);
  t.SetEnabled(false);
  t.SetEnabled(false);
  EXPECT_EQ(sim::Calls(sim::Call::TimeEndPeriod).size(), 2u);
  EXPECT_EQ(sim::Calls(sim::Call::TimeBeginPeriod).size(), 2u);
}

TEST_F(Timer, UnreadableCapabilitiesGiveAWideRangeThatKeepsFourMilliseconds) {
  sim::FailCall(sim::Call::TimeGetDevCaps, TIMERR_NOCANDO, 1);
  TMMTimer t;
  EXPECT_EQ(t.PeriodMin(), 1u);
  EXPECT_EQ(t.PeriodMax(), 1000000u);
  t.SetInterval(4);
  EXPECT_EQ(t.Interval(), 4u);
}

// A stop waits for a tick in progress, and no tick starts after it returns.
TEST_F(Timer, NoTickRunsOnceAStopHasReturned) {
  sim::SetRealTime(true);
  TMMTimer t;
  std::atomic<bool> stopped{false};
  std::atomic<int> lateTicks{0};
  t.OnTimer = [&](TMMTimer&) {
    if (stopped) ++lateTicks;
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    if (stopped) ++lateTicks;
    ++ticks;
  };
  t.SetInterval(1);
  for (int round = 0; round < 50; ++round) {
    stopped = false;
    t.SetEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    t.SetEnabled(false);
    stopped = true;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  EXPECT_EQ(lateTicks, 0);
  EXPECT_GT(ticks, 0);
  sim::SetRealTime(false);
}

TEST_F(Timer, DestroyingARunningTimerStopsIt) {
  {
    TMMTimer t;
    Count(t);
    t.SetInterval(2);
    t.SetEnabled(true);
    EXPECT_EQ(sim::RunningTimerEvents(), 1u);
  }
  EXPECT_EQ(sim::RunningTimerEvents(), 0u);
  sim::TickTimer();
  EXPECT_EQ(ticks, 0);
}

// The timer relies on the service's synchronous kill alone: a stop or a
// destruction while a tick is in progress returns after the tick, which may
// still use the timer (ASan and TSan see a tick that outlives it).
TEST_F(Timer, AStopOrADestructionDuringATickReturnsAfterIt) {
  sim::SetRealTime(true);
  const struct {
    const char* Name;
    std::function<void(std::unique_ptr<TMMTimer>&)> Stop;
  } ways[] = {
      {"disabled", [](std::unique_ptr<TMMTimer>& t) { t->SetEnabled(false); }},
      {"destroyed", [](std::unique_ptr<TMMTimer>& t) { t.reset(); }},
  };
  for (const auto& way : ways) {
    for (int round = 0; round < 20; ++round) {
      std::atomic<bool> inTick{false}, tickEnded{false};
      auto t = std::make_unique<TMMTimer>();
      t->OnTimer = [&](TMMTimer& sender) {
        if (tickEnded) return;
        inTick = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (sender.Interval() != 1) ADD_FAILURE() << way.Name << ": the timer changed under its tick";
        tickEnded = true;
      };
      t->SetInterval(1);
      t->SetEnabled(true);
      while (!inTick) std::this_thread::yield();
      way.Stop(t);
      EXPECT_TRUE(tickEnded) << way.Name << ": the stop returned while its tick ran";
    }
  }
  sim::SetRealTime(false);
}

}  // namespace
