// Routing through the engine as the windows drive it: what reaches each
// simulated output device, when, and in which order.
#include "tests/native/EngineFixture.h"

namespace {

class EngineRouting : public EngineFixture {};

constexpr DWORD NoteOn(int Channel, int Key, int Velocity) {
  return static_cast<DWORD>(0x90 | Channel) | (static_cast<DWORD>(Key) << 8) |
         (static_cast<DWORD>(Velocity) << 16);
}

TEST_F(EngineRouting, FirstStartOnAnEmptySettingsFileRoutesEverythingToDeviceZero) {
  BootAndStart();
  EXPECT_EQ(engine->MidiInDevice(), 0);
  EXPECT_EQ(engine->MidiIn().State(), mpsOpen);
  EXPECT_EQ(engine->TimerInterval(), 4);
  EXPECT_EQ(engine->Presets().ItemIndex(), 0);
  for (std::uint8_t c = 0; c < 16; ++c) EXPECT_EQ(engine->ChannelDevices(c), 0);
  EXPECT_EQ(engine->MidiOuts(0).RefCount(), 16);
  EXPECT_TRUE(sim::OutputOpen(0));
  EXPECT_FALSE(sim::OutputOpen(1));
  for (int d = 0; d < 3; ++d) EXPECT_EQ(engine->Delays(d), 0);
  EXPECT_TRUE(engine->Timer().Enabled());
}

TEST_F(EngineRouting, ADelayedNoteLeavesAtTheFirstTickAtOrAfterItsDueTimeUnchanged) {
  BootAndStart();
  engine->SetChannelDevice(5, 1);
  engine->SetDelay(1, 100);
  const TDateTime arrival = sim::NowValue();
  Play(NoteOn(5, 0x3C, 0x64));
  sim::RunFor(96);
  EXPECT_TRUE(ShortsTo(1).empty()) << "nothing before the delay has run out";
  sim::RunFor(8);
  const auto received = sim::ReceivedBy(1);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].Short, NoteOn(5, 0x3C, 0x64));
  const double late = DateTimeToMilliseconds(received[0].Time - arrival) - 100.0;
  EXPECT_GE(late, -1e-6);
  EXPECT_LT(late, 4.0 + 1e-6) << "sent within one timer period of its due time";
  EXPECT_TRUE(ShortsTo(0).empty());
}

TEST_F(EngineRouting, EachDeviceAppliesItsOwnDelay) {
  BootAndStart();
  engine->SetChannelDevice(1, 1);
  engine->SetChannelDevice(2, 2);
  engine->SetDelay(0, 0);
  engine->SetDelay(1, 20);
  engine->SetDelay(2, 40);
  const struct {
    double afterMs;
    std::size_t at0, at1, at2;
  } timeline[] = {{4, 1, 0, 0}, {20, 1, 1, 0}, {40, 1, 1, 1}};
  Play(NoteOn(0, 60, 1));
  Play(NoteOn(1, 61, 1));
  Play(NoteOn(2, 62, 1));
  double elapsed = 0;
  for (const auto& step : timeline) {
    sim::RunFor(step.afterMs - elapsed);
    elapsed = step.afterMs;
    EXPECT_EQ(ShortsTo(0).size(), step.at0) << "at " << step.afterMs << " ms";
    EXPECT_EQ(ShortsTo(1).size(), step.at1) << "at " << step.afterMs << " ms";
    EXPECT_EQ(ShortsTo(2).size(), step.at2) << "at " << step.afterMs << " ms";
  }
}

TEST_F(EngineRouting, EqualDueTimesLeaveInArrivalOrder) {
  BootAndStart();
  // The manual clock stands still, so all of these are due at the same time.
  std::vector<DWORD> played;
  for (int key = 0; key < 50; ++key) {
    played.push_back(NoteOn(key % 16, key, 100));
    Play(played.back());
  }
  sim::RunFor(4);
  EXPECT_EQ(ShortsTo(0), played);
}

TEST_F(EngineRouting, SystemMessagesFollowTheChannelOfTheirLowFourBits) {
  BootAndStart();
  engine->SetChannelDevice(8, 2);
  engine->SetDelay(2, 12);
  Play(0xF8);  // timing clock: channel 8's device and delay
  Play(0xFE);  // active sensing: channel 14, device 0, no delay
  sim::RunFor(4);
  EXPECT_EQ(ShortsTo(0), (std::vector<DWORD>{0xFE}));
  EXPECT_TRUE(ShortsTo(2).empty());
  sim::RunFor(12);
  EXPECT_EQ(ShortsTo(2), (std::vector<DWORD>{0xF8}));
}

TEST_F(EngineRouting, AMessageGoesToTheDeviceWhoseDelayItWaitedEvenWhenItsChannelMovedMeanwhile) {
  BootAndStart();
  engine->SetDelay(0, 50);
  Play(NoteOn(3, 60, 1));
  engine->SetChannelDevice(3, 1);  // device 0 stays open for the other channels
  sim::RunFor(48);
  EXPECT_TRUE(ShortsTo(0).empty());
  sim::RunFor(4);
  EXPECT_EQ(ShortsTo(0), (std::vector<DWORD>{NoteOn(3, 60, 1)}));
  EXPECT_TRUE(ShortsTo(1).empty());
}

TEST_F(EngineRouting, ALoweredDelayNeverLetsALaterMessageOvertakeAnEarlierOneForItsDevice) {
  BootAndStart();
  engine->SetDelay(0, 30);
  Play(NoteOn(0, 1, 1));
  engine->SetDelay(0, 0);
  Play(NoteOn(0, 2, 1));
  sim::RunFor(4);
  EXPECT_TRUE(ShortsTo(0).empty());
  sim::RunFor(28);
  EXPECT_EQ(ShortsTo(0), (std::vector<DWORD>{NoteOn(0, 1, 1), NoteOn(0, 2, 1)}));
}

TEST_F(EngineRouting, SystemExclusiveGoesAtOnceToEveryOpenDeviceInIndexOrderBlockByBlock) {
  BootAndStart();
  engine->SetChannelDevice(0, 2);  // devices 0 and 2 open, 1 closed
  engine->SetDelay(0, 500);
  engine->SetDelay(2, 500);
  Play(NoteOn(1, 60, 1));  // delayed: the sysex overtakes it
  std::vector<std::uint8_t> dump(10000);
  dump.front() = 0xF0;
  for (std::size_t i = 1; i + 1 < dump.size(); ++i) dump[i] = static_cast<std::uint8_t>(i & 0x7F);
  dump.back() = 0xF7;
  // The driver fills the port's buffers; each returned buffer becomes one block.
  std::size_t taken = 0;
  while (taken < dump.size()) {
    const std::size_t n = std::min<std::size_t>(3000, dump.size() - taken);
    EXPECT_EQ(sim::InjectSysEx(0, dump.data() + taken, n), n) << "a buffer was queued";
    taken += n;
    sim::DeliverNotices();
  }
  sim::RunFor(4);
  const auto to0 = LongsTo(0);
  const auto to2 = LongsTo(2);
  ASSERT_EQ(to0.size(), 3u);
  EXPECT_EQ(to0[0].size(), 4096u);
  EXPECT_EQ(to0[1].size(), 4096u);
  EXPECT_EQ(to0[2].size(), 10000u - 8192u);
  EXPECT_EQ(to2, to0);
  EXPECT_TRUE(LongsTo(1).empty()) << "a closed device sends nothing";
  std::vector<std::uint8_t> joined;
  for (const auto& block : to0) joined.insert(joined.end(), block.begin(), block.end());
  EXPECT_EQ(joined, dump);
  // Index order: every block reaches device 0 before device 2.
  std::vector<int> order;
  for (const sim::CallRecord& call : sim::Calls(sim::Call::MidiOutLongMsg)) order.push_back(call.Device);
  EXPECT_EQ(order, (std::vector<int>{0, 2, 0, 2, 0, 2}));
  EXPECT_TRUE(ShortsTo(0).empty());
}

TEST_F(EngineRouting, AnEmptySystemExclusiveBlockIsQueuedAndSendsNothing) {
  BootAndStart();
  const std::uint8_t f7 = 0xF7;
  sim::InjectSysEx(0, &f7, 0);
  sim::PostInputNotice(0, MM_MIM_LONGDATA, sim::InputHandle(0), 0);
  sim::DeliverNotices();
  sim::RunFor(8);
  EXPECT_TRUE(LongsTo(0).empty());
  EXPECT_TRUE(sim::Calls(sim::Call::MidiOutLongMsg).empty());
}

TEST_F(EngineRouting, SharedDevicesOpenOnceAndCloseWithTheirLastChannel) {
  Boot();
  engine->SetChannelDevice(3, 1);
  engine->SetChannelDevice(12, 1);
  EXPECT_EQ(engine->MidiOuts(1).RefCount(), 2);
  EXPECT_EQ(sim::Calls(sim::Call::MidiOutOpen).size(), 1u);
  engine->SetChannelDevice(3, 2);
  EXPECT_TRUE(sim::OutputOpen(1)) << "channel 12 still uses it";
  engine->SetChannelDevice(12, 2);
  EXPECT_FALSE(sim::OutputOpen(1));
  EXPECT_EQ(engine->MidiOuts(1).RefCount(), 0);
  EXPECT_EQ(engine->MidiOuts(2).RefCount(), 2);
  EXPECT_EQ(engine->MidiOutStates(1), mpsClosed);
  EXPECT_EQ(engine->MidiOutStates(2), mpsOpen);
}

TEST_F(EngineRouting, MovingALastChannelReportsTheCloseThenTheOpenThenTheChange) {
  Boot();
  engine->SetChannelDevice(0, 0);
  events.clear();
  engine->SetChannelDevice(0, 1);
  EXPECT_EQ(events, (std::vector<std::string>{"out-state 0 3", "out-state 0 0", "out-state 1 1",
                                              "out-state 1 2", "channel 0 1"}));
}

TEST_F(EngineRouting, SettersGivenTheCurrentValueDoNothing) {
  BootAndStart();
  engine->SetDelay(1, 250);
  sim::ClearCalls();
  events.clear();
  engine->SetMidiInDevice(0);
  engine->SetDelay(1, 250);
  engine->SetChannelDevice(7, 0);
  engine->SetTimerInterval(4);
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(sim::Calls().empty());
}

TEST_F(EngineRouting, DelaysAreStoredAsTimeValuesAndClampedToWhatATimeOfDayHolds) {
  Boot();
  const struct {
    std::int32_t set, stored;
  } cases[] = {{1500, 1500}, {0, 0}, {59999, 59999}, {60000, 59999}, {2000000000, 59999}, {-5, 0}};
  for (const auto& c : cases) {
    engine->SetDelay(2, c.set);
    EXPECT_EQ(engine->Delays(2), c.stored) << c.set;
    EXPECT_DOUBLE_EQ(engine->DelayTimes(2), c.stored / 86400000.0) << c.set;
  }
  EXPECT_EQ(engine->DelayTimes(0), 0.0);
}

TEST_F(EngineRouting, MessagesOnUnmappedChannelsAreDroppedAtArrival) {
  Boot();
  engine->SetMidiInDevice(0);  // input open, no preset loaded: every channel maps to no device
  Play(NoteOn(4, 60, 1));
  EXPECT_TRUE(engine->MessageList().Empty());
  engine->Timer().SetEnabled(true);
  sim::RunFor(8);
  for (int d = 0; d < 3; ++d) EXPECT_TRUE(sim::ReceivedBy(d).empty());
}

TEST_F(EngineRouting, ATickWithNothingDueSendsNothing) {
  BootAndStart();
  engine->SetDelay(0, 1000);
  Play(NoteOn(0, 60, 1));
  sim::ClearCalls();
  sim::RunFor(40);
  EXPECT_TRUE(sim::Calls(sim::Call::MidiOutShortMsg).empty());
  EXPECT_FALSE(engine->MessageList().Empty());
}

TEST_F(EngineRouting, ReopenClosesAndReopensThePortsInUseWithoutChangingTheMap) {
  BootAndStart();
  engine->SetChannelDevice(2, 1);
  engine->SetDelay(1, 40);
  Play(NoteOn(2, 60, 1));  // queued when the reopen comes
  reports.clear();
  events.clear();
  engine->Reopen();
  sim::DeliverNotices();
  const std::vector<TStateReport> expected = {
      {"in", 0, mpsClosing},  {"in", 0, mpsClosed},    {"out", 0, mpsClosing}, {"out", 0, mpsClosed},
      {"out", 1, mpsClosing}, {"out", 1, mpsClosed},   {"in", 0, mpsOpening},  {"in", 0, mpsOpen},
      {"out", 0, mpsOpening}, {"out", 0, mpsOpen},     {"out", 1, mpsOpening}, {"out", 1, mpsOpen}};
  EXPECT_EQ(reports, expected);
  for (const std::string& e : events) EXPECT_EQ(e.rfind("channel", 0), std::string::npos) << e;
  EXPECT_EQ(engine->MidiOuts(0).RefCount(), 15);
  EXPECT_EQ(engine->MidiOuts(1).RefCount(), 1);
  EXPECT_FALSE(sim::OutputOpen(2));
  EXPECT_TRUE(engine->Timer().Enabled());
  sim::RunFor(44);
  EXPECT_TRUE(ShortsTo(1).empty()) << "what was queued before a device's close is not sent after it";
}

TEST_F(EngineRouting, ReopenWithNoInputSelectedLeavesTheInputAndUnusedOutputsAlone) {
  Boot();  // before Start no input is selected
  engine->SetChannelDevice(0, 1);
  sim::ClearCalls();
  engine->Reopen();
  for (const sim::CallRecord& call : sim::Calls()) {
    EXPECT_NE(call.What, sim::Call::MidiInOpen);
    EXPECT_NE(call.What, sim::Call::MidiInClose);
    if (call.What == sim::Call::MidiOutOpen) {
      EXPECT_EQ(call.Device, 1);
    }
  }
  EXPECT_EQ(sim::Calls(sim::Call::MidiOutOpen).size(), 1u);
  EXPECT_TRUE(sim::OutputOpen(1));
}

TEST_F(EngineRouting, ReopenRecoversADeviceWhoseOpenFailed) {
  Boot();
  sim::FailCall(sim::Call::MidiOutOpen, MMSYSERR_ALLOCATED, 1, 1);
  engine->SetChannelDevice(0, 1);
  EXPECT_EQ(engine->MidiOutStates(1), mpsClosed);
  EXPECT_EQ(engine->MidiOuts(1).RefCount(), 1) << "the mapping stays as set";
  engine->SetChannelDevice(1, 1);
  EXPECT_EQ(engine->MidiOutStates(1), mpsClosed) << "a further user does not retry";
  engine->Reopen();
  EXPECT_EQ(engine->MidiOutStates(1), mpsOpen);
  EXPECT_EQ(engine->MidiOuts(1).RefCount(), 2);
}

TEST_F(EngineRouting, SelectingAnotherInputSwitchesThePortWhileOpen) {
  BootAndStart();
  reports.clear();
  engine->SetMidiInDevice(1);
  const std::vector<TStateReport> expected = {
      {"in", 0, mpsClosing}, {"in", 0, mpsClosed}, {"in", 1, mpsOpening}, {"in", 1, mpsOpen}};
  EXPECT_EQ(reports, expected);
  EXPECT_FALSE(sim::InputOpen(0));
  EXPECT_TRUE(sim::InputOpen(1));
  Play(NoteOn(0, 1, 1));
  sim::RunFor(4);
  EXPECT_EQ(ShortsTo(0).size(), 1u);
}

}  // namespace
