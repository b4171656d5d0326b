// Whatever the input device delivers reaches the outputs, and nothing else
// does: random short messages of every status byte (running-status junk,
// value 0, bits above the message), system-exclusive of every awkward size,
// system-exclusive that arrives while the port closes, and notices that name
// handles and headers the ports do not know.
#include <memory>
#include <random>

#include "tests/native/EngineFixture.h"
#include "tests/native/ReliabilityReport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class MidiInputRobustness : public EngineFixture {
 protected:
  void TearDown() override {
    sim::ClearFailures();
    EngineFixture::TearDown();
  }

  static Bytes SysEx(std::size_t Length, std::uint8_t Seed = 0) {
    Bytes bytes(Length);
    for (std::size_t i = 0; i < Length; ++i) bytes[i] = static_cast<std::uint8_t>((i + Seed) % 0x7F);
    if (Length > 0) bytes.front() = 0xF0;
    if (Length > 1) bytes.back() = 0xF7;
    return bytes;
  }
  // Feeds bytes in pieces that the four queued buffers always have room for,
  // handling the returned buffers between pieces as the main thread would.
  void Feed(const Bytes& Bytes) {
    for (std::size_t offset = 0; offset < Bytes.size();) {
      const std::size_t n = std::min<std::size_t>(2 * TMidiInput::SysExBufferSize, Bytes.size() - offset);
      ASSERT_EQ(sim::InjectSysEx(engine->MidiIn().DeviceIndex(), Bytes.data() + offset, n), n);
      offset += n;
      sim::DeliverNotices();
    }
  }
  // The bytes of every long message a device received, joined.
  Bytes JoinedLongsTo(int Device) {
    Bytes joined;
    for (const Bytes& block : LongsTo(Device)) joined.insert(joined.end(), block.begin(), block.end());
    return joined;
  }
  // No send went to a handle that was closed or never opened.
  void ExpectNoSendToAClosedDevice() {
    for (const sim::CallRecord& call : sim::Calls()) {
      if (call.What != sim::Call::MidiOutShortMsg && call.What != sim::Call::MidiOutLongMsg &&
          call.What != sim::Call::MidiOutPrepareHeader)
        continue;
      EXPECT_EQ(call.Result, MMRESULT{MMSYSERR_NOERROR}) << sim::CallName(call.What) << " on a dead handle";
    }
  }
};

TEST_F(MidiInputRobustness, RandomShortMessagesOfEveryStatusByteReachTheirChannelsDeviceUnchanged) {
  BootAndStart();
  // Channels on Synth A and Synth B only; Synth C stays closed.
  for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c % 2);
  engine->SetDelay(0, 3);
  engine->SetDelay(1, 40);
  std::mt19937 random(2024);
  std::vector<DWORD> messages;
  for (DWORD status = 0; status < 256; ++status) {
    messages.push_back(status);                                // data bytes 0
    messages.push_back(status | (random() & 0x7F7F) << 8);     // proper data bytes
    messages.push_back(status | (random() & 0xFFFF) << 8);     // data bytes with the top bit set
    messages.push_back(status | (random() & 0xFFFFFF) << 8);   // bits above the message
  }
  messages.push_back(0);
  for (int i = 0; i < 4000; ++i) {
    // Running status: data bytes alone, as a sender that drops the status
    // byte produces them, and random values of every kind.
    messages.push_back(i % 2 ? (random() & 0x7F7F) : static_cast<DWORD>(random()));
  }
  std::vector<std::vector<DWORD>> expected(3);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const DWORD m = messages[i];
    expected[static_cast<std::size_t>(engine->ChannelDevices(static_cast<std::uint8_t>(m & 0x0F)))].push_back(m);
    sim::InjectShort(0, m);
    if (i % 64 == 63) {
      sim::DeliverNotices();
      sim::RunFor(1);
    }
  }
  sim::DeliverNotices();
  sim::RunFor(60);
  for (int d = 0; d < 3; ++d) EXPECT_EQ(ShortsTo(d), expected[d]) << "device " << d;
  EXPECT_TRUE(ShortsTo(2).empty());
  ExpectNoSendToAClosedDevice();
  EXPECT_TRUE(engine->MessageList().Empty());
  TReliabilityFigures("midi-input-short", "random short messages of every status byte, running-status junk, value 0 and high bits, through the engine")
      .Add("inputs", messages.size())
      .Add("routed", expected[0].size() + expected[1].size())
      .Add("lost", expected[0].size() + expected[1].size() - ShortsTo(0).size() - ShortsTo(1).size())
      .Add("sent_to_closed_device", ShortsTo(2).size())
      .Print();
}

TEST_F(MidiInputRobustness, SystemExclusiveOfEverySizeReachesEveryOpenDeviceWholeAndInOrder) {
  BootAndStart();
  for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c % 2);  // Synth C closed
  const std::size_t sizes[] = {0, 1, 2, 4095, 4096, 4097, 8192, 1000000};
  Bytes all;
  for (const std::size_t size : sizes) {
    // A lone end of exclusive is returned at once.
    const Bytes bytes = size == 1 ? Bytes(1, 0xF7) : SysEx(size, static_cast<std::uint8_t>(size));
    Feed(bytes);
    sim::RunFor(4);
    sim::DeliverNotices();  // the outputs' completions free their copies
    all.insert(all.end(), bytes.begin(), bytes.end());
  }
  EXPECT_TRUE(JoinedLongsTo(0) == all) << "Synth A: " << JoinedLongsTo(0).size() << " of " << all.size();
  EXPECT_TRUE(JoinedLongsTo(1) == all) << "Synth B: " << JoinedLongsTo(1).size() << " of " << all.size();
  EXPECT_TRUE(LongsTo(2).empty());
  for (const Bytes& block : LongsTo(0)) EXPECT_LE(block.size(), std::size_t(TMidiInput::SysExBufferSize));
  ExpectNoSendToAClosedDevice();
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  TReliabilityFigures("midi-input-sysex", "system-exclusive of 0, 1, 2, 4095, 4096, 4097, 8192 and 1 000 000 bytes to two open devices and one closed")
      .Add("bytes_in", all.size())
      .Add("bytes_out_per_open_device", all.size())
      .Add("sent_to_closed_device", LongsTo(2).size())
      .Add("leaked_blocks", sim::LiveHeapBlocks())
      .Print();
}

// Bytes that found a queued buffer reach the outputs exactly once and in
// order, also when the port closes before their notices are handled: a
// message left incomplete in a buffer, a complete one whose notice is still
// queued, and bytes that arrive while the closing is being reported.
TEST_F(MidiInputRobustness, SystemExclusiveArrivingWhileThePortClosesIsPassedOnWhole) {
  enum class Close { SwitchInput, Reopen };
  const struct {
    const char* Name;
    std::size_t Before;   // bytes delivered before the close, notices not handled
    bool Complete;        // ... ending in 0xF7
    std::size_t During;   // bytes arriving while the close is reported
    bool Pump;            // a lamp pumps messages during the state reports
    Close How;
  } cases[] = {
      {"incomplete message, input switched", 3, false, 0, false, Close::SwitchInput},
      {"incomplete single byte, Reopen", 1, false, 0, false, Close::Reopen},
      {"complete message not yet handled, input switched", 100, true, 0, false, Close::SwitchInput},
      {"complete message handled while closing", 100, true, 0, true, Close::SwitchInput},
      {"message spanning two buffers, Reopen", 5000, true, 0, false, Close::Reopen},
      {"bytes during the closing report, input switched", 0, false, 300, false, Close::SwitchInput},
      {"bytes before and during, pumped, Reopen", 4100, false, 9000, true, Close::Reopen},
      {"bytes before and during, Reopen", 4100, false, 9000, false, Close::Reopen},
  };
  std::size_t bytesTried = 0, bytesStored = 0, bytesOut = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    BootAndStart();
    for (std::uint8_t ch = 0; ch < 16; ++ch) engine->SetChannelDevice(ch, ch % 2);
    Bytes expected;
    Bytes before = SysEx(c.Before, 1);
    if (!c.Complete && !before.empty()) before.back() = 0x33;
    expected.insert(expected.end(), before.begin(), before.end());
    bytesTried += before.size();
    bytesStored += sim::InjectSysEx(0, before.data(), before.size());
    Bytes during = SysEx(c.During, 2);
    // A lamp pumps messages while it shows the closing; the device goes on
    // delivering until it is stopped.
    bool injected = false;
    engine->OnMidiInStateChange = [&](TVelmoraEngine&, TMidiPortState state) {
      if (state == mpsClosing && !injected && !during.empty()) {
        injected = true;
        const std::size_t stored = sim::InjectSysEx(0, during.data(), during.size());
        bytesTried += during.size();
        bytesStored += stored;
        expected.insert(expected.end(), during.begin(), during.begin() + static_cast<std::ptrdiff_t>(stored));
      }
      if (c.Pump) sim::DeliverNotices();
    };
    if (c.How == Close::SwitchInput) {
      engine->SetMidiInDevice(1);
    } else {
      engine->Reopen();
    }
    sim::DeliverNotices();
    sim::RunFor(8);
    sim::DeliverNotices();
    EXPECT_EQ(expected.size(), c.Before + c.During) << "the device had room for every byte";
    // A message cut by the close is ended, so the synth reads the next one as a message.
    const bool endedByTheClose = !expected.empty() && expected.back() != 0xF7;
    if (endedByTheClose) expected.push_back(0xF7);
    EXPECT_TRUE(JoinedLongsTo(0) == expected) << JoinedLongsTo(0).size() << " of " << expected.size();
    EXPECT_TRUE(JoinedLongsTo(1) == expected) << JoinedLongsTo(1).size() << " of " << expected.size();
    EXPECT_TRUE(LongsTo(2).empty());
    // The F7 that ends a cut message is Velmora's own, not one of the input's bytes.
    bytesOut += JoinedLongsTo(0).size() - (endedByTheClose ? 1 : 0);
    ExpectNoSendToAClosedDevice();
    Shutdown();
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  }
  TReliabilityFigures("midi-input-sysex-closing", "system-exclusive in the buffers or arriving while the input closes (switch and Reopen)")
      .Add("cases", std::size(cases))
      .Add("bytes_tried", bytesTried)
      .Add("bytes_that_found_a_buffer", bytesStored)
      .Add("bytes_out_per_open_device", bytesOut)
      .Add("lost", bytesStored - bytesOut)
      .Print();
}

// Buffers the driver returns as broken go back to it at once: no number of
// broken messages stops the input, their bytes are not passed on, and a
// message whose start was passed on is ended where it went.
TEST_F(MidiInputRobustness, BrokenSystemExclusiveNeitherStopsTheInputNorReachesTheOutputs) {
  BootAndStart();
  for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c % 2);
  const Bytes broken = {0xF0, 0x43, 0x10};
  for (int i = 0; i < 2 * TMidiInput::SysExBufferCount; ++i) {
    ASSERT_EQ(sim::InjectSysEx(0, broken.data(), broken.size()), broken.size()) << "broken message " << i;
    ASSERT_TRUE(sim::BreakSysEx(0));
    sim::DeliverNotices();
  }
  Bytes start(TMidiInput::SysExBufferSize, 0x11);
  start.front() = 0xF0;
  Feed(start);  // a whole buffer, passed on without its end
  ASSERT_EQ(sim::InjectSysEx(0, broken.data() + 1, 2), 2u);
  ASSERT_TRUE(sim::BreakSysEx(0));
  sim::DeliverNotices();
  const Bytes whole = SysEx(300, 3);
  Feed(whole);
  sim::RunFor(4);
  sim::DeliverNotices();
  const std::vector<Bytes> expected = {start, {0xF7}, whole};
  EXPECT_EQ(LongsTo(0), expected);
  EXPECT_EQ(LongsTo(1), expected);
  EXPECT_EQ(sim::QueuedInputBuffers(0), std::size_t(TMidiInput::SysExBufferCount));
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
}

// Notices of every kind that name handles and headers the ports do not
// hold: nothing is freed that is not the port's, nothing is handed to a
// device twice, and the ports go on working. A data notice is passed on
// whatever handle it names: only this port's own opens post to its window.
TEST_F(MidiInputRobustness, NoticesForUnknownHandlesAndHeadersChangeNothing) {
  BootAndStart();
  for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c % 2);
  sim::SetAutoComplete(false);
  const Bytes bytes = SysEx(20);
  Feed(bytes);
  sim::RunFor(4);
  const std::uintptr_t oldInput = sim::InputHandle(0);
  engine->Reopen();  // old handles and released headers to name
  sim::DeliverNotices();
  Feed(bytes);
  sim::RunFor(4);  // Synth A and B each hold one long message now
  auto held = sim::PendingOutputHeaders(0);
  ASSERT_EQ(held.size(), 1u);
  ASSERT_EQ(sim::QueuedInputBuffers(0), 4u);
  const std::size_t messagesBefore = sim::ReceivedBy(0).size();
  const std::size_t blocksBefore = sim::LiveHeapBlocks();

  std::mt19937_64 random(99);
  // A header that is no port's: a block of the C++ heap, not of the
  // platform's. An object on the stack would do as well, but g++ can warn
  // (-Wfree-nonheap-object) of a path on which the sim's heap frees it, a
  // path never taken for a block the sim does not know.
  const auto foreign = std::make_unique<MIDIHDR>();
  const UINT kinds[] = {MM_MIM_OPEN, MM_MIM_CLOSE, MM_MIM_LONGDATA, MM_MIM_ERROR, MM_MIM_LONGERROR,
                        MM_MOM_OPEN, MM_MOM_CLOSE, MM_MOM_DONE, 0, 0x0400, 0xFFFF};
  int dataNotices = 0;
  constexpr int notices = 5000;
  for (int i = 0; i < notices; ++i) {
    const UINT msg = kinds[random() % std::size(kinds)];
    const std::uintptr_t handles[] = {0, oldInput, sim::InputHandle(0), sim::OutputHandle(0),
                                      static_cast<std::uintptr_t>(random())};
    const WPARAM wParam = handles[random() % std::size(handles)];
    const LPARAM lParams[] = {0, static_cast<LPARAM>(random() & 0xFFFFFF),
                              reinterpret_cast<LPARAM>(held[0]), reinterpret_cast<LPARAM>(foreign.get())};
    const LPARAM lParam = lParams[random() % std::size(lParams)];
    if (i % 2) {
      sim::PostInputNotice(0, msg, wParam, lParam);
    } else {
      sim::PostOutputNotice(static_cast<int>(random() % 3), msg, wParam, lParam);
    }
    if (i % 50 == 49) sim::DeliverNotices();
  }
  // One data notice of a stale handle, checked on its own.
  sim::PostInputNotice(0, MM_MIM_DATA, oldInput, 0x00407F90);
  ++dataNotices;
  sim::DeliverNotices();
  sim::RunFor(4);
  EXPECT_EQ(sim::PendingOutputHeaders(0), held) << "the device still holds its message";
  EXPECT_EQ(sim::LiveHeapBlocks(), blocksBefore) << "and no block was released";
  EXPECT_EQ(sim::QueuedInputBuffers(0), 4u) << "no buffer handed to the device twice";
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  EXPECT_EQ(ShortsTo(0), (std::vector<DWORD>{0x00407F90}));
  EXPECT_EQ(sim::ReceivedBy(0).size(), messagesBefore + dataNotices);

  // The ports go on working: the held messages complete, new input routes.
  sim::CompleteAllHeaders(0);
  sim::CompleteAllHeaders(1);
  sim::DeliverNotices();
  EXPECT_EQ(sim::LiveHeapBlocks(), blocksBefore - 4) << "a header and its copy per output";
  sim::SetAutoComplete(true);
  sim::ClearReceived();
  Feed(bytes);
  Play(0x90);
  sim::RunFor(4);
  sim::DeliverNotices();
  EXPECT_EQ(JoinedLongsTo(0), bytes);
  EXPECT_EQ(ShortsTo(0), (std::vector<DWORD>{0x90}));
  ExpectNoSendToAClosedDevice();
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  TReliabilityFigures("midi-notices", "notices of every kind with unknown, stale and foreign handles and headers, to the input and every output")
      .Add("notices", notices + dataNotices)
      .Add("unknown_frees", sim::HeapFreesOfUnknownBlocks())
      .Add("leaked_blocks", sim::LiveHeapBlocks())
      .Print();
}

}  // namespace
