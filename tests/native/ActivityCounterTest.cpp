// What the lamps flicker with: each port counts the messages it passes on,
// sent at once or by the timer, short or system exclusive; a closed device
// counts nothing.
#include "midi/MidiMessages.h"
#include "tests/native/EngineFixture.h"

namespace {

class ActivityCounters : public EngineFixture {};

TEST_F(ActivityCounters, EachPortCountsTheMessagesItPassesOn) {
  BootAndStart();
  engine->SetChannelDevice(8, 1);
  engine->SetDelay(1, 10);
  engine->SetChannelDevice(9, 2);
  sim::SetOutputPresent(2, false);
  engine->Reopen();  // device 2 fails to open again: closed
  sim::DeliverNotices();
  const std::uint8_t dump[] = {0xF0, 0x7D, 0x01, 0xF7};
  constexpr DWORD Dump = 0;  // stands for a system-exclusive dump
  const struct {
    const char* What;
    DWORD Message;
    std::uint32_t In, Out0, Out1, Out2;  // counted since the row began
  } rows[] = {
      {"a note sent at once", midi::Pack(0x90, 60, 100), 1, 1, 0, 0},
      {"a note the timer sends after 10 ms", midi::Pack(0x98, 60, 100), 1, 0, 1, 0},
      {"a note for a closed device", midi::Pack(0x99, 60, 100), 1, 0, 0, 0},
      {"a dump to every open device", Dump, 1, 1, 1, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    const std::uint32_t in = engine->MidiIn().Activity().Count();
    std::uint32_t out[3];
    for (int d = 0; d < 3; ++d) out[d] = engine->MidiOuts(d).Activity().Count();
    if (row.Message == Dump) {
      sim::InjectSysEx(0, dump, sizeof dump);
      sim::DeliverNotices();
    } else {
      Play(row.Message);
    }
    sim::RunFor(12);
    EXPECT_EQ(engine->MidiIn().Activity().Count() - in, row.In);
    EXPECT_EQ(engine->MidiOuts(0).Activity().Count() - out[0], row.Out0);
    EXPECT_EQ(engine->MidiOuts(1).Activity().Count() - out[1], row.Out1);
    EXPECT_EQ(engine->MidiOuts(2).Activity().Count() - out[2], row.Out2);
  }
}

}  // namespace
