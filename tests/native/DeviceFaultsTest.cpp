// Devices that fail while the program runs: an output or input that is
// unplugged while open (every call then answers MMSYSERR_NODRIVER), and a
// device whose close keeps answering MIDIERR_STILLPLAYING. Routing to the
// other devices goes on, the ports report what they report, Reopen brings a
// device back once it is back, and no block is freed while its driver may
// still hold it.
#include "tests/native/EngineFixture.h"
#include "tests/native/ReliabilityReport.h"

namespace {

class DeviceFaults : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
  }
  void TearDown() override {
    sim::ClearFailures();
    EngineFixture::TearDown();
  }

  // Channels 0-7 on Synth A, 8-11 on Synth B, 12-15 on Synth C.
  void MapThree() {
    for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c < 8 ? 0 : (c < 12 ? 1 : 2));
  }
  // A note on channels 0, 8 and 12 each, sent at the next ticks.
  void PlayOnEveryDevice(std::uint8_t Key) {
    for (DWORD channel : {0u, 8u, 12u}) Play(0x90 | channel | (DWORD{Key} << 8) | (0x40u << 16));
    sim::RunFor(8);
    sim::DeliverNotices();
  }
  // A system-exclusive block that every open device is left holding.
  void LeaveLongMessagesPending() {
    sim::SetAutoComplete(false);
    const std::uint8_t bytes[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    sim::InjectSysEx(0, bytes, sizeof bytes);
    sim::DeliverNotices();
    sim::RunFor(4);
  }
  std::vector<TStateReport> ReportsOf(std::int32_t Device) const {
    std::vector<TStateReport> of;
    for (const TStateReport& r : reports)
      if (r.Port == "out" && r.Device == Device) of.push_back(r);
    return of;
  }
  static std::vector<TStateReport> Out(std::int32_t Device, std::vector<TMidiPortState> States) {
    std::vector<TStateReport> expected;
    for (TMidiPortState s : States) expected.push_back({"out", Device, s});
    return expected;
  }
};

TEST_F(DeviceFaults, AnOutputUnpluggedWhileOpenLosesOnlyItsOwnTrafficAndReopenBringsItBack) {
  BootAndStart();
  MapThree();
  LeaveLongMessagesPending();
  ASSERT_EQ(sim::PendingOutputHeaders(1).size(), 1u);
  sim::ClearReceived();
  reports.clear();

  sim::SetOutputPresent(1, false);
  PlayOnEveryDevice(60);
  EXPECT_EQ(ShortsTo(0).size(), 1u) << "routing to the other devices goes on";
  EXPECT_EQ(ShortsTo(2).size(), 1u);
  EXPECT_TRUE(ShortsTo(1).empty());
  const auto sends = sim::Calls(sim::Call::MidiOutShortMsg);
  ASSERT_FALSE(sends.empty());
  EXPECT_EQ(sends.back().Result, MMRESULT{MMSYSERR_NOERROR});
  bool refused = false;
  for (const sim::CallRecord& call : sends) refused |= call.Device == 1 && call.Result == MMRESULT{MMSYSERR_NODRIVER};
  EXPECT_TRUE(refused) << "the send reached the vanished device and was refused there";
  // The refusal is seen: its dead handle is closed and the port is lost.
  EXPECT_EQ(engine->MidiOutStates(1), mpsLost);
  EXPECT_EQ(ReportsOf(1), Out(1, {mpsClosing, mpsClosed, mpsLost}));
  const auto sendsBefore = sim::Calls(sim::Call::MidiOutShortMsg).size();
  PlayOnEveryDevice(60);
  std::size_t sentToLost = 0;
  const auto sendsAfter = sim::Calls(sim::Call::MidiOutShortMsg);
  for (std::size_t i = sendsBefore; i < sendsAfter.size(); ++i) sentToLost += sendsAfter[i].Device == 1 ? 1 : 0;
  EXPECT_EQ(sentToLost, 0u) << "nothing more is sent to a lost device";

  // Reopen while it is still gone: the lost port closes, the open is refused
  // as gone, and the lamp shows it lost again.
  reports.clear();
  engine->Reopen();
  sim::DeliverNotices();
  EXPECT_EQ(ReportsOf(1), Out(1, {mpsClosed, mpsOpening, mpsClosing, mpsClosed, mpsLost}));
  EXPECT_EQ(engine->MidiOutStates(1), mpsLost);
  EXPECT_EQ(engine->MidiOutStates(0), mpsOpen);
  EXPECT_EQ(engine->MidiOutStates(2), mpsOpen);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);

  sim::SetOutputPresent(1, true);
  sim::ClearReceived();
  engine->Reopen();
  sim::DeliverNotices();
  EXPECT_EQ(engine->MidiOutStates(1), mpsOpen) << "Reopen recovers once the device is back";
  PlayOnEveryDevice(61);
  EXPECT_EQ(ShortsTo(1), (std::vector<DWORD>{0x3C88, 0x403D98}))
      << "what it held when it stopped answering is released first";
  for (int d : {0, 2}) EXPECT_EQ(ShortsTo(d).size(), 1u) << "device " << d;
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u) << "a vanished device's blocks are freed with its handle";
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
}

TEST_F(DeviceFaults, AnInputUnpluggedWhileOpenIsClosedByReopenAndReopenedWhenItIsBack) {
  BootAndStart();
  const std::uint8_t partial[] = {0xF0, 0x7E, 0x00};  // stays in the driver's buffer
  sim::InjectSysEx(0, partial, sizeof partial);
  sim::SetInputPresent(0, false);
  Play(0x90);
  EXPECT_TRUE(engine->MessageList().Empty()) << "a device that is gone delivers nothing";
  reports.clear();
  engine->Reopen();
  sim::DeliverNotices();
  std::vector<TStateReport> input;
  for (const TStateReport& r : reports)
    if (r.Port == "in") input.push_back(r);
  EXPECT_EQ(input, (std::vector<TStateReport>{{"in", 0, mpsClosing}, {"in", 0, mpsClosed},
                                               {"in", 0, mpsOpening}, {"in", 0, mpsClosing},
                                               {"in", 0, mpsClosed}, {"in", 0, mpsLost}}));
  EXPECT_EQ(engine->MidiIn().State(), mpsLost);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);

  sim::SetInputPresent(0, true);
  engine->Reopen();
  sim::DeliverNotices();
  EXPECT_EQ(engine->MidiIn().State(), mpsOpen);
  Play(0x00407F90);
  sim::RunFor(4);
  EXPECT_EQ(ShortsTo(0), (std::vector<DWORD>{0x00407F90}));
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
}

// A close that keeps failing leaves the system's handle open; the device
// comes back with the next open once the close goes through.
TEST_F(DeviceFaults, AnOutputWhoseCloseKeepsFailingIsOpenedAgainOnceItsCloseGoesThrough) {
  const struct {
    const char* Name;
    bool ResetFails;  // the driver also keeps the long messages it holds
  } cases[] = {{"close refused", false}, {"reset and close refused", true}};
  std::size_t faults = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    reports.clear();
    BootAndStart();
    MapThree();
    LeaveLongMessagesPending();
    if (c.ResetFails) sim::FailCall(sim::Call::MidiOutReset, MMSYSERR_NODRIVER, -1, 1);
    sim::FailCall(sim::Call::MidiOutClose, MIDIERR_STILLPLAYING, -1, 1);
    faults += 1 + (c.ResetFails ? 1 : 0);
    reports.clear();

    // Synth B loses its channels: the close is refused, the port reports it closed.
    for (std::uint8_t ch = 8; ch < 12; ++ch) engine->SetChannelDevice(ch, 0);
    EXPECT_EQ(ReportsOf(1), Out(1, {mpsClosing, mpsClosed}));
    EXPECT_TRUE(sim::OutputOpen(1)) << "the system still holds the handle";
    EXPECT_EQ(sim::PendingOutputHeaders(1).size(), c.ResetFails ? 1u : 0u)
        << "only a failed reset leaves the driver holding its header";
    sim::ClearReceived();
    PlayOnEveryDevice(62);
    EXPECT_EQ(ShortsTo(0).size(), 2u) << "channels 0 and 8 on Synth A";
    EXPECT_EQ(ShortsTo(2).size(), 1u);

    // While the close is still refused, an open cannot get the device.
    reports.clear();
    engine->SetChannelDevice(8, 1);
    EXPECT_EQ(ReportsOf(1), Out(1, {mpsOpening, mpsClosing, mpsClosed}));

    sim::ClearFailures();  // the device answers again
    reports.clear();
    engine->Reopen();
    sim::DeliverNotices();
    EXPECT_EQ(ReportsOf(1), Out(1, {mpsOpening, mpsOpen})) << "Reopen recovers";
    sim::ClearReceived();
    PlayOnEveryDevice(63);
    EXPECT_EQ(ShortsTo(1).size(), 1u);
    Shutdown();
    EXPECT_FALSE(sim::OutputOpen(1));
    EXPECT_EQ(sim::LiveHeapBlocks(), c.ResetFails ? 2u : 0u)
        << "a header the driver kept is kept with its data, never freed";
    EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  }
  TReliabilityFigures("device-faults-output-close", "outputs whose close keeps failing with MIDIERR_STILLPLAYING, then answer again")
      .Add("cases", std::size(cases))
      .Add("faults_injected", faults)
      .Add("recovered_by_reopen", std::size(cases))
      .Add("blocks_freed_while_held", sim::HeapFreesOfUnknownBlocks())
      .Print();
}

TEST_F(DeviceFaults, AnInputWhoseCloseKeepsFailingIsOpenedAgainOnceItsCloseGoesThrough) {
  const struct {
    const char* Name;
    bool ResetFails;  // the driver also keeps its buffers
  } cases[] = {{"close refused", false}, {"reset and close refused", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    BootAndStart();
    if (c.ResetFails) sim::FailCall(sim::Call::MidiInReset, MMSYSERR_NODRIVER, -1, 0);
    sim::FailCall(sim::Call::MidiInClose, MIDIERR_STILLPLAYING, -1, 0);
    engine->SetMidiInDevice(1);  // the close of Keyboard is refused
    EXPECT_TRUE(sim::InputOpen(0));
    EXPECT_EQ(sim::QueuedInputBuffers(0), c.ResetFails ? TMidiInput::SysExBufferCount : 0u);
    engine->SetMidiInDevice(0);  // refused while the old handle stays open
    EXPECT_EQ(engine->MidiIn().State(), mpsClosed);
    sim::ClearFailures();
    engine->Reopen();
    sim::DeliverNotices();
    EXPECT_EQ(engine->MidiIn().State(), mpsOpen);
    Play(0x90);
    sim::RunFor(4);
    EXPECT_EQ(ShortsTo(0).size(), 1u);
    Shutdown();
    EXPECT_FALSE(sim::InputOpen(0));
    EXPECT_EQ(sim::LiveHeapBlocks(), c.ResetFails ? 2u * TMidiInput::SysExBufferCount : 0u)
        << "buffers the driver kept are kept with their headers, never freed";
    EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  }
}

TEST_F(DeviceFaults, OutputsVanishingAndComingBackAtRandomNeverStopTheOthers) {
  BootAndStart();
  MapThree();
  std::uint32_t seed = 11;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  std::size_t vanishings = 0, routedToPresent = 0, receivedByPresent = 0;
  for (int round = 0; round < 200; ++round) {
    std::vector<bool> present(3);
    for (int d = 0; d < 3; ++d) {
      present[d] = next() % 3 != 0;
      vanishings += present[d] ? 0 : 1;
      sim::SetOutputPresent(d, present[d]);
    }
    if (round % 3 == 0) {
      sim::SetAutoComplete(round % 2 == 0);
      const std::uint8_t bytes[] = {0xF0, 0x01, 0x02, 0xF7};
      sim::InjectSysEx(0, bytes, sizeof bytes);
      sim::DeliverNotices();
    }
    if (round % 5 == 0) {
      engine->Reopen();
      sim::DeliverNotices();
    }
    sim::ClearReceived();
    PlayOnEveryDevice(static_cast<std::uint8_t>(round & 0x7F));
    for (int d = 0; d < 3; ++d) {
      if (!present[d] || engine->MidiOutStates(d) != mpsOpen) continue;
      ++routedToPresent;
      // A device back after it went gets the releases of what it held first.
      for (const DWORD message : ShortsTo(d)) receivedByPresent += midi::KindOf(message) == midi::NoteOnKind ? 1 : 0;
    }
  }
  for (int d = 0; d < 3; ++d) sim::SetOutputPresent(d, true);
  engine->Reopen();
  sim::DeliverNotices();
  for (int d = 0; d < 3; ++d) EXPECT_EQ(engine->MidiOutStates(d), mpsOpen);
  EXPECT_EQ(receivedByPresent, routedToPresent) << "every open, present device got its note";
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u) << "a vanished device's blocks are freed with its handle";
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  TReliabilityFigures("device-faults-vanishing", "outputs unplugged and plugged back at random for 200 rounds, with long messages held and Reopen")
      .Add("vanishings_injected", vanishings)
      .Add("notes_routed_to_present_devices", routedToPresent)
      .Add("lost", routedToPresent - receivedByPresent)
      .Add("blocks_kept_for_drivers", sim::LiveHeapBlocks())
      .Add("unknown_frees", sim::HeapFreesOfUnknownBlocks())
      .Print();
}

}  // namespace
