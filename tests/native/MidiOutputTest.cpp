// The output port and the engine's reference-counted output device over the
// simulated driver: open failures, long messages and their completion, stale
// notices, and the counting rules.
#include <gtest/gtest.h>

#include <vector>

#include "engine/Exceptions.h"
#include "engine/MidiOutputDev.h"
#include "platform/sim/SimDriver.h"

namespace {

class MidiOutputPort : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetOutputDevices({{.Name = "Synth A", .DriverVersion = 0x0105}, {.Name = "Synth B", .DriverVersion = 0x0200}});
  }
  void TearDown() override { sim::DeliverNotices(); }

  // Records every state report with the index the port holds during it.
  void Watch(TMidiOutput& Port) {
    Port.OnStateChange = [this](TMidiIOBase& sender, TMidiPortState state) {
      reports.push_back({state, sender.DeviceIndex()});
    };
  }
  struct Report {
    TMidiPortState State;
    std::int32_t Index;
    bool operator==(const Report&) const = default;
  };
  std::vector<Report> reports;
};

TEST_F(MidiOutputPort, OpenAndCloseReportEveryStepWithTheirIndex) {
  TMidiOutput port;
  Watch(port);
  EXPECT_TRUE(port.Open(1));
  EXPECT_EQ(port.State(), mpsOpen);
  EXPECT_TRUE(sim::OutputOpen(1));
  EXPECT_TRUE(port.Open(0));  // switching closes first; the close reports carry the old index
  port.Close();
  port.Close();  // a closed port reports nothing
  const std::vector<Report> expected = {{mpsOpening, 1}, {mpsOpen, 1},  {mpsClosing, 1},
                                        {mpsClosed, 1},  {mpsOpening, 0}, {mpsOpen, 0},
                                        {mpsClosing, 0}, {mpsClosed, 0}};
  EXPECT_EQ(reports, expected);
  EXPECT_EQ(port.DeviceIndex(), -2);
  EXPECT_FALSE(sim::OutputOpen(0));
}

TEST_F(MidiOutputPort, ARefusedOpenReportsOpeningClosingClosedAndReleasesNothingTwice) {
  // A driver that is gone leaves the port lost, for the engine to take back.
  const struct {
    MMRESULT Refusal;
    TMidiPortState Last;
  } refusals[] = {{MMSYSERR_ALLOCATED, mpsClosed}, {MMSYSERR_NODRIVER, mpsLost}, {MMSYSERR_BADDEVICEID, mpsClosed}};
  for (const auto& [refusal, last] : refusals) {
    reports.clear();
    TMidiOutput port;
    Watch(port);
    sim::FailCall(sim::Call::MidiOutOpen, refusal, 1);
    EXPECT_FALSE(port.Open(1));
    std::vector<Report> expected = {{mpsOpening, 1}, {mpsClosing, 1}, {mpsClosed, 1}};
    if (last == mpsLost) expected.push_back({mpsLost, 1});  // still naming the device to take back
    EXPECT_EQ(reports, expected) << refusal;
    EXPECT_EQ(port.DeviceIndex(), last == mpsLost ? 1 : -2);
    EXPECT_EQ(port.State(), last);
    EXPECT_FALSE(port.SendShort(0x90));
    EXPECT_TRUE(port.Open(1)) << "an open after a failed one works like a first open";
  }
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
}

TEST_F(MidiOutputPort, AnIndexNamingNoDeviceFailsAtTheOpenCall) {
  TMidiOutput port;
  Watch(port);
  EXPECT_FALSE(port.Open(7));
  EXPECT_EQ(reports.size(), 3u);
}

TEST_F(MidiOutputPort, ANegativeIndexAsksForTheMapper) {
  TMidiOutput port;
  Watch(port);
  port.Open(-5);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports[0].Index, -1);
  const auto opens = sim::Calls(sim::Call::MidiOutOpen);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].Device, -1);
}

TEST_F(MidiOutputPort, SendsOnlyWhileOpen) {
  TMidiOutput port;
  std::vector<bool> sentDuringReports;
  port.OnStateChange = [&](TMidiIOBase&, TMidiPortState) {
    const bool shortSent = port.SendShort(0x80);
    const bool longSent = port.SendLong("\xF0\xF7", 2);
    EXPECT_EQ(shortSent, longSent);
    sentDuringReports.push_back(shortSent);
  };
  EXPECT_FALSE(port.SendShort(0x90));
  EXPECT_FALSE(port.SendLong("\xF0\x01\xF7", 3));
  port.Open(0);
  port.Close();
  // Opening, open (sends allowed), closing, closed.
  EXPECT_EQ(sentDuringReports, (std::vector<bool>{false, true, false, false}));
  EXPECT_EQ(sim::ReceivedBy(0).size(), 2u);
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
}

TEST_F(MidiOutputPort, LongMessagesAreCopiedAndReleasedByTheirCompletion) {
  sim::SetAutoComplete(false);
  TMidiOutput a, b;
  a.Open(0);
  b.Open(1);
  std::vector<std::uint8_t> bytes = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  EXPECT_FALSE(a.SendLong(bytes.data(), 0)) << "an empty block sends nothing";
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u) << "and allocates nothing";
  EXPECT_TRUE(a.SendLong(bytes.data(), 6));
  EXPECT_TRUE(b.SendLong(bytes.data(), 6));
  bytes.assign(6, 0);  // the caller's buffer may go at once
  EXPECT_EQ(sim::LiveHeapBlocks(), 4u) << "a header and a copy per device";
  EXPECT_EQ(sim::ReceivedBy(1)[0].Bytes, (std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));

  std::vector<MIDIHDR*> done;
  a.OnLongDone = [&](TMidiOutput&, MIDIHDR* header) { done.push_back(header); };
  sim::CompleteAllHeaders(0);
  sim::DeliverNotices();
  EXPECT_EQ(done.size(), 1u);
  EXPECT_EQ(sim::LiveHeapBlocks(), 2u) << "only the completed block is released";
  sim::CompleteAllHeaders(1);
  sim::DeliverNotices();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
}

TEST_F(MidiOutputPort, CompletionsInAnyOrderReleaseTheRightHeaders) {
  sim::SetAutoComplete(false);
  TMidiOutput port;
  port.Open(0);
  for (std::uint8_t i = 0; i < 4; ++i) {
    const std::uint8_t bytes[] = {0xF0, i, 0xF7};
    ASSERT_TRUE(port.SendLong(bytes, 3));
  }
  auto held = sim::PendingOutputHeaders(0);
  ASSERT_EQ(held.size(), 4u);
  for (int i : {2, 0, 3, 1}) {
    sim::CompleteHeader(0, held[static_cast<std::size_t>(i)]);
    sim::DeliverNotices();
  }
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
}

TEST_F(MidiOutputPort, CloseReleasesPendingLongMessagesAndIgnoresTheirLateNotices) {
  sim::SetAutoComplete(false);
  TMidiOutput port;
  port.Open(0);
  const std::uint8_t bytes[] = {0xF0, 0x01, 0xF7};
  port.SendLong(bytes, 3);
  port.SendLong(bytes, 3);
  const std::uintptr_t oldHandle = sim::OutputHandle(0);
  port.Close();  // the reset posts a done notice for each; they arrive after the close
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_GE(sim::PendingNotices(), 2u);
  port.Open(0);
  port.SendLong(bytes, 3);  // may get one of the old addresses
  sim::DeliverNotices();
  EXPECT_EQ(sim::LiveHeapBlocks(), 2u) << "a stale notice releases no newer header";
  // A notice naming the old handle with the current header's address is stale too.
  auto held = sim::PendingOutputHeaders(0);
  ASSERT_EQ(held.size(), 1u);
  sim::PostOutputNotice(0, MM_MOM_DONE, oldHandle, reinterpret_cast<LPARAM>(held[0]));
  sim::PostOutputNotice(0, MM_MOM_DONE, sim::OutputHandle(0), 12345);  // unknown header
  sim::PostOutputNotice(0, 0x0400, 0, 0);                              // not a MIDI notice
  sim::DeliverNotices();
  EXPECT_EQ(sim::LiveHeapBlocks(), 2u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  port.Close();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
}

TEST_F(MidiOutputPort, AFailedLongSendReleasesItsBlocksAtOnce) {
  TMidiOutput port;
  port.Open(0);
  const std::uint8_t bytes[] = {0xF0, 0x01, 0xF7};
  const struct {
    sim::Call call;
    MMRESULT result;
  } failures[] = {{sim::Call::MidiOutPrepareHeader, MMSYSERR_NOMEM},
                  {sim::Call::MidiOutLongMsg, MIDIERR_NOTREADY},
                  {sim::Call::HeapAlloc, 0}};
  for (const auto& f : failures) {
    sim::FailCall(f.call, f.result, 1);
    EXPECT_FALSE(port.SendLong(bytes, 3)) << sim::CallName(f.call);
    EXPECT_EQ(sim::LiveHeapBlocks(), 0u) << sim::CallName(f.call);
  }
  EXPECT_EQ(sim::Calls(sim::Call::MidiOutUnprepareHeader).size(), 1u)
      << "only a prepared header is unprepared";
}

class OutputDevice : public MidiOutputPort {};

TEST_F(OutputDevice, CountsUsersAndOpensOnTheFirstClosesOnTheLast) {
  TMidiOutputDev device(1);
  Watch(device);
  device.AddRef();
  device.AddRef();
  device.Release();
  EXPECT_EQ(device.RefCount(), 1);
  EXPECT_EQ(device.State(), mpsOpen);
  device.Release();
  EXPECT_EQ(device.State(), mpsClosed);
  const std::vector<Report> expected = {{mpsOpening, 1}, {mpsOpen, 1}, {mpsClosing, 1}, {mpsClosed, 1}};
  EXPECT_EQ(reports, expected) << "the closed report carries the device number";
}

TEST_F(OutputDevice, ReleaseBelowZeroRaisesAndTouchesNothing) {
  TMidiOutputDev device(0);
  try {
    device.Release();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Negative reference count.");
  }
  EXPECT_EQ(device.RefCount(), -1);
  EXPECT_TRUE(sim::Calls().empty());
  device.AddRef();
  EXPECT_EQ(device.State(), mpsClosed) << "back to 0 opens nothing";
  device.AddRef();
  EXPECT_EQ(device.State(), mpsOpen);
}

TEST_F(OutputDevice, OpenIsRefusedWithItsFixedText) {
  TMidiOutputDev device(0);
  device.AddRef();
  try {
    device.Open(1);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Mustnot call this function.");
  }
  EXPECT_EQ(device.State(), mpsOpen);
  EXPECT_EQ(device.DeviceIndex(), 0);
  EXPECT_EQ(device.RefCount(), 1);
}

TEST_F(OutputDevice, OpenDeviceRetriesAFailedOpenWithoutTouchingTheCount) {
  TMidiOutputDev device(1);
  sim::FailCall(sim::Call::MidiOutOpen, MMSYSERR_ALLOCATED, 1);
  device.AddRef();
  device.AddRef();
  EXPECT_EQ(device.State(), mpsClosed);
  EXPECT_TRUE(device.OpenDevice());
  EXPECT_EQ(device.RefCount(), 2);
  EXPECT_TRUE(sim::OutputOpen(1));
}

}  // namespace
