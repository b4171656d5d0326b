// The input port over the simulated driver: what reaches its events, every
// way an open can fail, system-exclusive in blocks, and late notices.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "midi/MidiInput.h"
#include "platform/sim/SimDriver.h"

namespace {

class MidiInputPort : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetInputDevices({{.Name = "Keyboard", .DriverVersion = 0x0100}, {.Name = "Pads", .DriverVersion = 0x0100}});
    port.OnStateChange = [this](TMidiIOBase& sender, TMidiPortState state) {
      states.push_back(state);
      indices.push_back(sender.DeviceIndex());
    };
    port.OnData = [this](TMidiInput&, DWORD data) { shorts.push_back(data); };
    port.OnLongData = [this](TMidiInput&, const std::uint8_t* data, std::int32_t length) {
      blocks.emplace_back(data, data + length);
    };
  }
  void TearDown() override { sim::DeliverNotices(); }

  std::vector<std::uint8_t> SysEx(std::size_t Length) {
    std::vector<std::uint8_t> bytes(Length);
    for (std::size_t i = 0; i < Length; ++i) bytes[i] = static_cast<std::uint8_t>(i % 0x7F);
    if (Length > 0) bytes.front() = 0xF0;
    if (Length > 1) bytes.back() = 0xF7;
    return bytes;
  }

  std::vector<TMidiPortState> states;
  std::vector<std::int32_t> indices;
  std::vector<DWORD> shorts;
  std::vector<std::vector<std::uint8_t>> blocks;
  TMidiInput port;  // last, so it closes while the records still exist
};

TEST_F(MidiInputPort, ShortMessagesArriveAsOnePackedValueInOrder) {
  ASSERT_TRUE(port.Open(0));
  sim::InjectShort(0, 0x00643C90);
  sim::InjectShort(0, 0x00003C80);
  sim::InjectShort(0, 0xF8);
  sim::DeliverNotices();
  EXPECT_EQ(shorts, (std::vector<DWORD>{0x00643C90, 0x00003C80, 0xF8}));
  EXPECT_EQ(shorts[0] & 0xFF, 0x90u);
  EXPECT_EQ((shorts[0] >> 8) & 0xFF, 0x3Cu);
  EXPECT_EQ((shorts[0] >> 16) & 0xFF, 0x64u);
  EXPECT_EQ(shorts[0] >> 24, 0u);
}

TEST_F(MidiInputPort, EveryRefusedStepOfAnOpenClosesAgainAndReleasesEachBlockOnce) {
  struct Step {
    sim::Call What;
    int After;  // calls of that kind that go through first
  };
  std::vector<Step> steps = {{sim::Call::MidiInOpen, 0}, {sim::Call::MidiInPrepareHeader, 0},
                             {sim::Call::MidiInAddBuffer, 0}, {sim::Call::MidiInStart, 0}};
  // Every allocation in turn: a header and a block for each buffer.
  for (int k = 0; k < 2 * TMidiInput::SysExBufferCount; ++k) steps.push_back({sim::Call::HeapAlloc, k});
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(sim::CallName(step.What)) + " after " + std::to_string(step.After));
    states.clear();
    sim::ClearCalls();
    sim::FailCall(step.What, MMSYSERR_NOMEM, 1, -1, step.After);
    EXPECT_FALSE(port.Open(1));
    ASSERT_EQ(sim::Calls(step.What).size(), static_cast<std::size_t>(step.After) + 1) << "the step was reached";
    EXPECT_EQ(states, (std::vector<TMidiPortState>{mpsOpening, mpsClosing, mpsClosed}));
    EXPECT_EQ(indices.back(), 1);
    EXPECT_EQ(port.DeviceIndex(), -2);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
    EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
    EXPECT_FALSE(sim::InputOpen(1));
    // The next open works like a first one.
    states.clear();
    EXPECT_TRUE(port.Open(1));
    EXPECT_EQ(states, (std::vector<TMidiPortState>{mpsOpening, mpsOpen}));
    port.Close();
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  }
}

TEST_F(MidiInputPort, SwitchingDevicesReportsTheOldIndexThenTheNew) {
  port.Open(0);
  states.clear();
  indices.clear();
  port.Open(1);
  EXPECT_EQ(states, (std::vector<TMidiPortState>{mpsClosing, mpsClosed, mpsOpening, mpsOpen}));
  EXPECT_EQ(indices, (std::vector<std::int32_t>{0, 0, 1, 1}));
  port.Close();
  states.clear();
  port.Close();
  EXPECT_TRUE(states.empty()) << "a closed port reports nothing";
}

TEST_F(MidiInputPort, SystemExclusiveComesInBlocksOfOneReturnedBufferEach) {
  port.Open(0);
  const struct {
    std::size_t length;
    std::vector<std::size_t> blocks;
  } cases[] = {{2, {2}}, {3, {3}}, {4096, {4096}}, {4097, {4096, 1}}, {10000, {4096, 4096, 1808}}};
  for (const auto& c : cases) {
    blocks.clear();
    const auto bytes = SysEx(c.length);
    // Four buffers are queued, so even a long dump finds room while the
    // main thread is busy; notices are handled afterwards.
    EXPECT_EQ(sim::InjectSysEx(0, bytes.data(), bytes.size()), bytes.size()) << c.length;
    sim::DeliverNotices();
    std::vector<std::size_t> sizes;
    std::vector<std::uint8_t> joined;
    for (const auto& b : blocks) {
      sizes.push_back(b.size());
      joined.insert(joined.end(), b.begin(), b.end());
    }
    EXPECT_EQ(sizes, c.blocks) << c.length;
    EXPECT_EQ(joined, bytes) << c.length;
    EXPECT_EQ(sim::QueuedInputBuffers(0), 4u) << "every buffer is handed back";
  }
}

TEST_F(MidiInputPort, BytesOfAHugeDumpAreKeptAsLongAsTheMainThreadHandsBuffersBack) {
  port.Open(0);
  const auto bytes = SysEx(1000000);
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::size_t n = std::min<std::size_t>(4096 * 2, bytes.size() - offset);
    ASSERT_EQ(sim::InjectSysEx(0, bytes.data() + offset, n), n);
    offset += n;
    sim::DeliverNotices();
  }
  std::vector<std::uint8_t> joined;
  for (const auto& b : blocks) joined.insert(joined.end(), b.begin(), b.end());
  EXPECT_EQ(joined, bytes);
}

TEST_F(MidiInputPort, LateAndForeignLongDataNoticesPassNothingOnAndHandNothingBack) {
  port.Open(0);
  const auto bytes = SysEx(100);
  sim::InjectSysEx(0, bytes.data(), bytes.size());  // returned, notice not yet handled
  const std::uintptr_t oldHandle = sim::InputHandle(0);
  port.Close();  // the reset returns the other buffers: more late notices
  port.Open(0);
  sim::DeliverNotices();
  // The close passes the returned block on while it is still the port's; the
  // late notices then pass nothing on, so released memory never is.
  EXPECT_EQ(blocks, (std::vector<std::vector<std::uint8_t>>{bytes})) << "passed on once, by the close";
  blocks.clear();
  EXPECT_EQ(sim::QueuedInputBuffers(0), 4u) << "no header handed over twice";
  sim::PostInputNotice(0, MM_MIM_LONGDATA, oldHandle, 0);
  sim::PostInputNotice(0, MM_MIM_LONGDATA, sim::InputHandle(0), 0);     // no header
  sim::PostInputNotice(0, MM_MIM_LONGDATA, sim::InputHandle(0), 4242);  // not ours
  sim::PostInputNotice(0, MM_MIM_ERROR, sim::InputHandle(0), 0x90);
  sim::DeliverNotices();
  EXPECT_TRUE(blocks.empty());
  EXPECT_TRUE(shorts.empty());
  EXPECT_EQ(sim::QueuedInputBuffers(0), 4u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
}

TEST_F(MidiInputPort, DataHandledWhileTheCloseIsReportedIsStillPassedOn) {
  port.Open(0);
  sim::InjectShort(0, 0x90);
  // A lamp pumps messages during every state report.
  port.OnStateChange = [this](TMidiIOBase&, TMidiPortState state) {
    states.push_back(state);
    sim::DeliverNotices();
  };
  port.Close();
  EXPECT_EQ(shorts, (std::vector<DWORD>{0x90}));
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
}

}  // namespace
