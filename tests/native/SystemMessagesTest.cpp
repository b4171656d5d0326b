// System messages (F1 to FF) by the choice of the option dialog's Misc page:
// which devices receive each, with their own delays; Active Sensing kept up
// for a device that has had it; the choice stored in a section of its own.
#include <functional>
#include <set>

#include "engine/SystemMessagesSettings.h"
#include "midi/MidiMessages.h"
#include "settings/IniFile.h"
#include "tests/native/EngineFixture.h"

namespace {

constexpr DWORD Clock = 0xF8, Start = 0xFA, Sensing = 0xFE, Reset = 0xFF;
constexpr DWORD SongPosition = 0x0110F2, TuneRequest = 0xF6;
constexpr std::int32_t Unmapped = 3;  // no channel routed to it: closed

class SystemMessages : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    sim::SetOutputDevices({{.Name = "Synth A"}, {.Name = "Synth B"}, {.Name = "Synth C"}, {.Name = "Synth D"}});
  }
  // Every channel on device 0, but the clock's (8) on device 1 and Active
  // Sensing's (14) on device 2; device 1 speaks 10 ms late, device 2 20 ms.
  void BootRouted() {
    BootAndStart();
    engine->SetChannelDevice(8, 1);
    engine->SetChannelDevice(14, 2);
    engine->SetDelay(1, 10);
    engine->SetDelay(2, 20);
    sim::ClearReceived();
  }
  // The devices that received Message once its delays have passed.
  std::set<std::int32_t> ReceiversOf(DWORD Message) {
    sim::ClearReceived();
    Play(Message);
    sim::RunFor(24);
    std::set<std::int32_t> got;
    for (std::int32_t device = 0; device <= Unmapped; ++device)
      for (DWORD received : ShortsTo(device))
        if (received == Message) got.insert(device);
    return got;
  }
};

TEST_F(SystemMessages, EachChoiceSendsSystemMessagesToItsDevicesAndLeavesTheRestAlone) {
  const struct {
    TSystemMessages Choice;
    DWORD Message;
    std::set<std::int32_t> Receivers;
  } rows[] = {
      {smByChannel, Clock, {1}},             // the low four bits: channel 8
      {smByChannel, Start, {0}},             // channel 10
      {smByChannel, Sensing, {2}},           // channel 14
      {smByChannel, SongPosition, {0}},      // channel 2, both data bytes kept
      {smToEveryDevice, Clock, {0, 1, 2}},   // every open device, not the closed one
      {smToEveryDevice, Reset, {0, 1, 2}},
      {smToEveryDevice, TuneRequest, {0, 1, 2}},
      {smNotPassedOn, Clock, {}},
      {smNotPassedOn, Sensing, {}},
      {smNotPassedOn, SongPosition, {}},
      {smNotPassedOn, midi::Pack(0x98, 60, 100), {1}},  // channel messages are not concerned
      {smToEveryDevice, midi::Pack(0xC8, 5, 0), {1}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "choice " << row.Choice << ", message 0x" << std::hex << row.Message);
    SetUp();
    BootRouted();
    engine->SetSystemMessages(row.Choice);
    EXPECT_EQ(ReceiversOf(row.Message), row.Receivers);
    Shutdown();
  }
}

TEST_F(SystemMessages, EveryDeviceGetsItsCopyAfterItsOwnDelayAndSystemExclusiveStillGoesEverywhere) {
  BootRouted();
  engine->SetSystemMessages(smToEveryDevice);
  Play(Clock);
  const struct {
    double AfterMs;
    std::size_t At0, At1, At2;
  } timeline[] = {{4, 1, 0, 0}, {12, 1, 1, 0}, {24, 1, 1, 1}};
  double elapsed = 0;
  for (const auto& step : timeline) {
    sim::RunFor(step.AfterMs - elapsed);
    elapsed = step.AfterMs;
    EXPECT_EQ(ShortsTo(0).size(), step.At0) << "at " << step.AfterMs << " ms";
    EXPECT_EQ(ShortsTo(1).size(), step.At1) << "at " << step.AfterMs << " ms";
    EXPECT_EQ(ShortsTo(2).size(), step.At2) << "at " << step.AfterMs << " ms";
  }
  engine->SetSystemMessages(smNotPassedOn);
  const std::uint8_t dump[] = {0xF0, 0x7D, 0x01, 0xF7};
  sim::InjectSysEx(0, dump, sizeof dump);
  sim::DeliverNotices();
  sim::RunFor(4);
  for (std::int32_t device = 0; device < 3; ++device) EXPECT_EQ(LongsTo(device).size(), 1u) << device;
  EXPECT_TRUE(LongsTo(Unmapped).empty());
}

TEST_F(SystemMessages, ADeviceThatHasHadActiveSensingKeepsGettingItWhileItStaysOpen) {
  BootRouted();
  engine->SetChannelDevice(13, 2);  // keeps device 2 open when channel 14 leaves it
  const struct {
    const char* Step;
    std::function<void(TVelmoraEngine&)> Change;
    DWORD Message;
    std::set<std::int32_t> Receivers;
  } steps[] = {
      {"by channel 14", [](TVelmoraEngine&) {}, Sensing, {2}},
      {"channel 14 moved to device 0", [](TVelmoraEngine& e) { e.SetChannelDevice(14, 0); }, Sensing, {0, 2}},
      {"not passed on", [](TVelmoraEngine& e) { e.SetSystemMessages(smNotPassedOn); }, Sensing, {0, 2}},
      {"only Active Sensing is kept up", [](TVelmoraEngine&) {}, Clock, {}},
      {"device 2 closed", [](TVelmoraEngine& e) { e.SetChannelDevice(13, 0); }, Sensing, {0}},
      {"device 2 opened again starts afresh", [](TVelmoraEngine& e) { e.SetChannelDevice(13, 2); }, Sensing, {0}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Step);
    step.Change(*engine);
    sim::DeliverNotices();
    EXPECT_EQ(ReceiversOf(step.Message), step.Receivers);
  }
}

TEST_F(SystemMessages, TheChoiceIsStoredInASectionOfItsOwnAndReadBack) {
  const struct {
    const char* Stored;  // as a hand-edited file holds it
    TSystemMessages Read;
  } rows[] = {{"[Presets]\nPresetsCount=0\n", smByChannel},   {"[SystemMessages]\nRoute=1\n", smToEveryDevice},
              {"[SystemMessages]\nRoute=2\n", smNotPassedOn}, {"[SystemMessages]\nRoute=3\n", smByChannel},
              {"[SystemMessages]\nRoute=x\n", smByChannel}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Stored);
    SetUp();
    InitializeIniDefs();
    platform::ReplaceFileText(IniFileName, row.Stored);
    FinalizeIniDefs();
    BootAndStart();
    EXPECT_EQ(engine->SystemMessages(), row.Read);
    engine->SetSystemMessages(smNotPassedOn);
    Shutdown();
    EXPECT_EQ(TIniFile(settingsPath).ReadInteger("SystemMessages", "Route", -1), smNotPassedOn);
  }
}

}  // namespace
