// The MIDI ports over the real winmm path. Wine hands out the same handle
// value again after a close (and the process heap the same addresses), so
// a notice posted before a close can name the handle and a header of the
// next open: the ports must tell such late notices apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "VirtualMidiEnvironment.h"
#include "midi/MidiInput.h"
#include "midi/MidiOutput.h"

using namespace testdevices;
using vmidi::DeviceEventKind;
using vmidi::Direction;

namespace {

std::vector<std::uint8_t> Bytes(std::size_t Length, std::uint8_t Seed) {
  std::vector<std::uint8_t> bytes(Length);
  for (std::size_t i = 0; i < Length; ++i) bytes[i] = static_cast<std::uint8_t>((i * 5 + Seed) % 0x80);
  return bytes;
}

class PortsOverWinmm : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_VIRTUAL_MIDI();
    driver = VirtualMidi();
    driver->ClearRecords();
  }
  void TearDown() override {
    if (!driver) return;
    PumpFor(20);
    for (int d = 0; d < OutputCount; ++d) driver->SetHoldLong(d, false);
    driver->Sync();
    driver->ClearRecords();
  }
  vmidi::Controller* driver = nullptr;
};

}  // namespace

TEST_F(PortsOverWinmm, AStaleCompletionDoesNotCompleteTheNextOpensBlock) {
  TMidiOutput port;
  ASSERT_TRUE(driver->SetHoldLong(OutSynthB, true));
  ASSERT_TRUE(port.Open(OutSynthB));
  const auto first = Bytes(64, 1);
  ASSERT_TRUE(port.SendLong(first.data(), static_cast<std::int32_t>(first.size())));

  // The close's reset posts the completion of the first block; the port is
  // open again, on the same handle value, and has sent a block of the same
  // size before that notice is handled.
  port.Close();
  ASSERT_TRUE(port.Open(OutSynthB));
  const auto second = Bytes(64, 2);
  ASSERT_TRUE(port.SendLong(second.data(), static_cast<std::int32_t>(second.size())));
  PumpFor(30);
  ASSERT_TRUE(driver->Sync());
  EXPECT_EQ(driver->OutputEvents(OutSynthB, DeviceEventKind::Unprepared), 1u) << "the close released the first block";
  EXPECT_EQ(driver->OutputEvents(OutSynthB, DeviceEventKind::UnprepareRefused), 0u)
      << "a late notice tried to release the block that the device still holds";

  EXPECT_EQ(driver->CompleteHeld(OutSynthB), 1u);
  EXPECT_TRUE(PumpUntil([&] { return driver->Sync() && driver->OutputEvents(OutSynthB, DeviceEventKind::Unprepared) == 2; }));
  port.Close();
  ASSERT_TRUE(driver->Sync());
  const auto received = driver->Received(OutSynthB);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].Bytes, first);
  EXPECT_EQ(received[1].Bytes, second);
}

TEST_F(PortsOverWinmm, AStaleInputBufferPassesNothingOnAfterTheNextOpen) {
  TMidiInput port;
  std::vector<std::vector<std::uint8_t>> blocks;
  port.OnLongData = [&](TMidiInput&, const std::uint8_t* data, std::int32_t length) {
    blocks.emplace_back(data, data + length);
  };
  ASSERT_TRUE(port.Open(InKeyboard));
  auto cutOff = Bytes(200, 3);
  cutOff.front() = 0xF0;
  EXPECT_EQ(driver->InjectSysEx(InKeyboard, cutOff).Value, cutOff.size());

  // The close returns the partly filled buffer and the empty ones; their
  // notices are handled only after the next open, whose buffers have then
  // already taken bytes of a new message. What the close got back may be
  // passed on while the buffer is still the port's, once and unchanged.
  port.Close();
  ASSERT_LE(blocks.size(), 1u);
  if (!blocks.empty()) {
    EXPECT_EQ(blocks[0], cutOff);
  }
  blocks.clear();
  ASSERT_TRUE(port.Open(InKeyboard));
  auto message = Bytes(300, 4);
  message.front() = 0xF0;
  message.back() = 0xF7;
  const std::vector<std::uint8_t> head(message.begin(), message.begin() + 100);
  const std::vector<std::uint8_t> tail(message.begin() + 100, message.end());
  EXPECT_EQ(driver->InjectSysEx(InKeyboard, head).Value, head.size());
  PumpFor(30);
  EXPECT_TRUE(blocks.empty()) << "a late notice passed on " << (blocks.empty() ? 0 : blocks[0].size())
                              << " bytes";

  EXPECT_EQ(driver->InjectSysEx(InKeyboard, tail).Value, tail.size()) << "the buffer is still queued";
  ASSERT_TRUE(PumpUntil([&] { return !blocks.empty(); }));
  PumpFor(20);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0], message);
  port.Close();
}

TEST_F(PortsOverWinmm, AFailedOpenReportsItsStepsAndLeavesThePortReusable) {
  TMidiOutput port;
  std::vector<std::pair<std::int32_t, TMidiPortState>> reports;
  port.OnStateChange = [&](TMidiIOBase& sender, TMidiPortState state) {
    reports.push_back({sender.DeviceIndex(), state});
  };
  EXPECT_FALSE(port.Open(OutRefusing));
  EXPECT_EQ(reports, (std::vector<std::pair<std::int32_t, TMidiPortState>>{
                         {OutRefusing, mpsOpening}, {OutRefusing, mpsClosing}, {OutRefusing, mpsClosed}}));
  EXPECT_EQ(port.DeviceIndex(), -2);
  EXPECT_FALSE(port.SendShort(0x00403C90));

  reports.clear();
  EXPECT_TRUE(port.Open(OutSynthB));
  EXPECT_TRUE(port.SendShort(0x00403C90));
  ASSERT_TRUE(driver->Sync());
  ASSERT_EQ(driver->Received(OutSynthB).size(), 1u);
  EXPECT_EQ(driver->Received(OutSynthB)[0].Packed(), 0x00403C90u);
  port.Close();
  EXPECT_FALSE(port.SendShort(0x00403C90)) << "a closed port sends nothing";
}
