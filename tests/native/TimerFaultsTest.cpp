// The timer under the main thread's feet, in the simulated real-time mode:
// stopped and started in a tight loop and restarted with new intervals while
// messages flow, and Reopen a thousand times while input flows. No tick runs
// once a stop has returned, nothing deadlocks, nothing is lost and nothing is
// sent to a closed device. Run under ThreadSanitizer as well.
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "tests/native/EngineFixture.h"
#include "tests/native/ReliabilityReport.h"

namespace {

class TimerFaults : public RealTimeEngineFixture {
 protected:

  // Counts ticks that run while the test holds the timer stopped. The
  // handler is wrapped while the timer is stopped, as the timer requires.
  void WatchTicks() {
    engine->Timer().SetEnabled(false);
    auto dispatch = engine->Timer().OnTimer;
    engine->Timer().OnTimer = [this, dispatch](TMMTimer& timer) {
      if (heldStopped.load()) ++lateTicks;
      ++ticks;
      dispatch(timer);
      if (heldStopped.load()) ++lateTicks;
    };
  }
  void Stop() {
    engine->Timer().SetEnabled(false);
    heldStopped = true;  // from here on no tick may run
  }
  void Start() {
    heldStopped = false;
    engine->Timer().SetEnabled(true);
  }
  std::size_t NotesTo(int Device) {
    std::size_t n = 0;
    for (const sim::Received& r : sim::ReceivedBy(Device)) n += r.Long ? 0 : 1;
    return n;
  }
  void WaitUntil(const std::function<bool()>& Done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Done() && std::chrono::steady_clock::now() < end) {
      sim::DeliverNotices();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  void ExpectNoSendToAClosedDevice() {
    for (const sim::CallRecord& call : sim::Calls()) {
      if (call.What == sim::Call::MidiOutShortMsg || call.What == sim::Call::MidiOutLongMsg) {
        EXPECT_EQ(call.Result, MMRESULT{MMSYSERR_NOERROR}) << sim::CallName(call.What) << " on a dead handle";
      }
    }
  }

  std::atomic<bool> heldStopped{false};
  std::atomic<int> lateTicks{0};
  std::atomic<int> ticks{0};
};

TEST_F(TimerFaults, StopAndStartInATightLoopWhileMessagesFlowRunsNoTickWhileStopped) {
  BootAndStart();
  engine->SetTimerInterval(1);
  WatchTicks();
  Start();
  std::mt19937 random(3);
  std::size_t played = 0;
  constexpr int rounds = 2000;
  for (int round = 0; round < rounds; ++round) {
    for (int i = 0; i < 5; ++i, ++played) sim::InjectShort(0, 0x90 | ((played & 0x7F) << 8));
    sim::DeliverNotices();
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 2500));  // ticks run meanwhile
    Stop();
    if (round % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 800));
    Start();
    if (round % 7 == 0) engine->SetTimerInterval(static_cast<std::int32_t>(1 + random() % 3));
  }
  WaitUntil([&] { return NotesTo(0) == played; });
  EXPECT_EQ(lateTicks.load(), 0) << "a tick ran after a stop had returned";
  EXPECT_EQ(NotesTo(0), played) << "nothing lost";
  EXPECT_GT(ticks.load(), 0);
  ExpectNoSendToAClosedDevice();
  TReliabilityFigures("timer-stop-start", "the timer stopped and started 2 000 times, its interval changed every 7th time, while notes flow")
      .Add("stops", rounds)
      .Add("ticks", ticks.load())
      .Add("ticks_after_a_stop", lateTicks.load())
      .Add("messages", played)
      .Add("lost", played - NotesTo(0))
      .Print();
}

TEST_F(TimerFaults, ReopenAThousandTimesWhileInputFlowsLosesNothingAndSendsToNoClosedDevice) {
  BootAndStart();
  engine->SetTimerInterval(1);
  for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c % 2);
  WatchTicks();
  Start();
  std::size_t played = 0, sysexStored = 0;
  const std::uint8_t dump[] = {0xF0, 0x43, 0x12, 0x00, 0x01, 0x02, 0x03, 0xF7};
  constexpr int reopens = 1000;
  for (int round = 0; round < reopens; ++round) {
    for (int i = 0; i < 4; ++i, ++played) sim::InjectShort(0, static_cast<DWORD>(0x90 | (played % 16)));
    if (round % 4 == 0) sysexStored += sim::InjectSysEx(0, dump, sizeof dump);
    if (round % 2 == 0) sim::DeliverNotices();  // and sometimes the close finds them queued
    engine->Reopen();
  }
  sim::DeliverNotices();
  WaitUntil([&] { return NotesTo(0) + NotesTo(1) == played; });
  // Nothing waits for a tick without delays, so every note is sent as it
  // arrives and none is queued when a device closes.
  EXPECT_EQ(NotesTo(0) + NotesTo(1), played) << "every note played while the input was open";
  std::size_t sysexOut = 0;
  for (const auto& block : LongsTo(0)) sysexOut += block.size();
  EXPECT_EQ(sysexOut, sysexStored) << "every byte that found a buffer";
  EXPECT_EQ(lateTicks.load(), 0);
  ExpectNoSendToAClosedDevice();
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  TReliabilityFigures("reopen-under-input", "Reopen 1 000 times while notes and system-exclusive flow in and out")
      .Add("reopens", reopens)
      .Add("messages", played)
      .Add("lost", played - (NotesTo(0) + NotesTo(1)))
      .Add("sysex_bytes_in", sysexStored)
      .Add("sysex_bytes_out", sysexOut)
      .Add("ticks_after_a_stop", lateTicks.load())
      .Add("leaked_blocks", sim::LiveHeapBlocks())
      .Print();
}

}  // namespace
