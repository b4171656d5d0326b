// Devices that come and go while Velmora runs: the system's list changes
// (a synth switched on late, a USB cable pulled, devices numbered anew),
// the system says so, and Velmora follows by name. Each row: the devices
// before, what is played, each change and what is played after it, then
// what every device received and what the file holds after the exit's save.
#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "settings/IniFile.h"
#include "tests/native/EngineFixture.h"
#include "tests/native/ReliabilityReport.h"

namespace {

constexpr DWORD NoteOn(int Channel, int Key) { return midi::Pack(0x90 | Channel, Key, 0x40); }
constexpr DWORD NoteOff(int Channel, int Key) { return midi::Pack(0x80 | Channel, Key, 0); }

const sim::DeviceConfig SynthA{.Name = "Synth A", .DriverVersion = 0x0105};
const sim::DeviceConfig SynthB{.Name = "Synth B", .DriverVersion = 0x010A};
const sim::DeviceConfig Twin0{.Name = "Twin", .DriverVersion = 0x0100, .Unit = 0};
const sim::DeviceConfig Twin1{.Name = "Twin", .DriverVersion = 0x0100, .Unit = 1};
const sim::DeviceConfig Keyboard{.Name = "Keyboard", .DriverVersion = 0x0100};
const sim::DeviceConfig Sequencer{.Name = "Sequencer", .DriverVersion = 0x0203};

struct TCatalogue {
  std::vector<sim::DeviceConfig> Outputs;
  std::vector<sim::DeviceConfig> Inputs;
};
// A message played on the input listed at Input at that moment.
struct TPlay {
  int Input;
  DWORD Message;
};
struct TStep {
  std::optional<TCatalogue> Change = {};  // the system's list after the change
  std::vector<TPlay> Play = {};           // then played, and given time to arrive
};
struct TReceived {
  sim::DeviceConfig Device;
  std::vector<DWORD> Shorts;
};
struct TStored {
  std::string Section, Key, Value;
};
struct TDeviceChangeRow {
  const char* Name;
  TCatalogue Before;
  std::string Settings;
  std::vector<TStep> Steps;
  std::vector<TReceived> Receives;
  std::vector<TStored> FileHolds;
};

void PrintTo(const TDeviceChangeRow& Row, std::ostream* Out) { *Out << Row.Name; }

const std::string Routing =
    "[VelmoraEngine]\nMidiInDeviceName=Keyboard (1.0)\n"
    "[Preset_default]\nDevice0=Synth A (1.5)\nDevice1=Synth B (1.10)\n";

const std::vector<TDeviceChangeRow> Rows = {
    {.Name = "a synth absent at start keeps its routing and delay in the file",
     .Before = {{SynthA}, {Keyboard}},
     .Settings = Routing + "[MidiOutDelays]\nMidiOutNumDevs=1\nDevice0=Synth B (1.10)\nDelay0=250\n",
     .Steps = {{.Play = {{0, NoteOn(1, 60)}}}},
     .Receives = {{SynthA, {NoteOn(1, 60)}}},  // channel 1 falls back to device 0
     .FileHolds = {{"Preset_default", "Device1", "Synth B (1.10)"},
                   {"MidiOutDelays", "MidiOutNumDevs", "2"},
                   {"MidiOutDelays", "Device1", "Synth B (1.10)"},
                   {"MidiOutDelays", "Delay1", "250"}}},
    {.Name = "a synth arriving mid-song takes its channel; the key held elsewhere ends there",
     .Before = {{SynthA}, {Keyboard}},
     .Settings = Routing,
     .Steps = {{.Play = {{0, NoteOn(1, 60)}}},
               {.Change = TCatalogue{{SynthA, SynthB}, {Keyboard}},
                .Play = {{0, NoteOff(1, 60)}, {0, NoteOn(1, 62)}}}},
     .Receives = {{SynthA, {NoteOn(1, 60), NoteOff(1, 60)}}, {SynthB, {NoteOn(1, 62)}}},
     .FileHolds = {{"Preset_default", "Device1", "Synth B (1.10)"}}},
    {.Name = "two devices swapping numbers while open keep their channels and notes",
     .Before = {{SynthA, SynthB}, {Keyboard}},
     .Settings = Routing,
     .Steps = {{.Play = {{0, NoteOn(0, 60)}, {0, NoteOn(1, 61)}}},
               {.Change = TCatalogue{{SynthB, SynthA}, {Keyboard}},
                .Play = {{0, NoteOff(0, 60)}, {0, NoteOff(1, 61)}, {0, NoteOn(0, 64)}}}},
     .Receives = {{SynthA, {NoteOn(0, 60), NoteOff(0, 60), NoteOn(0, 64)}},
                  {SynthB, {NoteOn(1, 61), NoteOff(1, 61)}}},
     .FileHolds = {{"Preset_default", "Device0", "Synth A (1.5)"},
                   {"Preset_default", "Device1", "Synth B (1.10)"},
                   {"MidiOutDelays", "Device0", "Synth B (1.10)"}}},
    {.Name = "a device leaving with notes queued gets none of them; its channel falls back",
     .Before = {{SynthA, SynthB}, {Keyboard}},
     .Settings = Routing + "[MidiOutDelays]\nMidiOutNumDevs=1\nDevice0=Synth B (1.10)\nDelay0=3000\n",
     .Steps = {{.Play = {{0, NoteOn(1, 61)}, {0, NoteOn(0, 60)}}},
               {.Change = TCatalogue{{SynthA}, {Keyboard}}, .Play = {{0, NoteOn(1, 62)}}}},
     .Receives = {{SynthA, {NoteOn(0, 60), NoteOn(1, 62)}}, {SynthB, {}}},
     .FileHolds = {{"Preset_default", "Device1", "Synth B (1.10)"},
                   {"MidiOutDelays", "Device1", "Synth B (1.10)"},
                   {"MidiOutDelays", "Delay1", "3000"}}},
    {.Name = "a synth that left holding a key gets its release first when it returns",
     .Before = {{SynthA, SynthB}, {Keyboard}},
     .Settings = Routing,
     .Steps = {{.Play = {{0, NoteOn(1, 61)}}},
               {.Change = TCatalogue{{SynthA}, {Keyboard}}},
               {.Change = TCatalogue{{SynthA, SynthB}, {Keyboard}}, .Play = {{0, NoteOn(1, 63)}}}},
     .Receives = {{SynthA, {}}, {SynthB, {NoteOn(1, 61), NoteOff(1, 61), NoteOn(1, 63)}}},
     .FileHolds = {{"Preset_default", "Device1", "Synth B (1.10)"}}},
    {.Name = "an input leaving falls back to input 0 and is taken back when it returns",
     .Before = {{SynthA, SynthB}, {Keyboard, Sequencer}},
     .Settings = "[VelmoraEngine]\nMidiInDeviceName=Sequencer (2.3)\n[Preset_default]\nDevice0=Synth A (1.5)\n",
     .Steps = {{.Play = {{1, NoteOn(0, 60)}, {1, NoteOff(0, 60)}}},
               {.Change = TCatalogue{{SynthA, SynthB}, {Keyboard}}, .Play = {{0, NoteOn(0, 62)}}},
               {.Change = TCatalogue{{SynthA, SynthB}, {Keyboard, Sequencer}},
                .Play = {{0, NoteOn(0, 70)}, {1, NoteOn(0, 64)}}}},
     // Input 0 is closed when the Sequencer comes back: what it held is
     // released, and its later notes go nowhere.
     .Receives = {{SynthA, {NoteOn(0, 60), NoteOff(0, 60), NoteOn(0, 62), NoteOff(0, 62), NoteOn(0, 64)}}},
     .FileHolds = {{"VelmoraEngine", "MidiInDeviceName", "Sequencer (2.3)"}}},
    {.Name = "of two devices with one name the first keeps the routing, also when renumbered",
     .Before = {{Twin0, Twin1}, {Keyboard}},
     .Settings = "[VelmoraEngine]\nMidiInDeviceName=Keyboard (1.0)\n[Preset_default]\nDevice0=Twin (1.0)\n",
     .Steps = {{.Play = {{0, NoteOn(0, 60)}}},
               {.Change = TCatalogue{{SynthA, Twin0, Twin1}, {Keyboard}}, .Play = {{0, NoteOff(0, 60)}}}},
     .Receives = {{Twin0, {NoteOn(0, 60), NoteOff(0, 60)}}, {Twin1, {}}},
     .FileHolds = {{"Preset_default", "Device0", "Twin (1.0)"}, {"Preset_default", "Device1", "Twin (1.0)"}}},
};

class DeviceChanges : public EngineFixture, public ::testing::WithParamInterface<TDeviceChangeRow> {
 protected:
  void WriteSettings(const std::string& Text) {
    InitializeIniDefs();
    ASSERT_TRUE(platform::ReplaceFileText(IniFileName, Text));
    FinalizeIniDefs();
  }
  // The change as Windows reports it: a burst of notices, one reading of the
  // catalogue once they have settled.
  void ChangeDevices(const TCatalogue& Catalogue) {
    sim::ChangeOutputDevices(Catalogue.Outputs);
    sim::ChangeInputDevices(Catalogue.Inputs);
    for (int notice = 0; notice < 3; ++notice) {
      engine->DeviceChangeNotice();
      sim::RunFor(100);
    }
    sim::RunFor(TVelmoraEngine::DeviceChangeSettleMilliseconds);
    sim::DeliverNotices();
  }
};

TEST_P(DeviceChanges, FollowTheMachineByName) {
  const TDeviceChangeRow& row = GetParam();
  sim::SetOutputDevices(row.Before.Outputs);
  sim::SetInputDevices(row.Before.Inputs);
  WriteSettings(row.Settings);
  BootAndStart();
  for (const TStep& step : row.Steps) {
    if (step.Change) ChangeDevices(*step.Change);
    for (const TPlay& play : step.Play) {
      sim::InjectShort(play.Input, play.Message);
      sim::DeliverNotices();
      sim::RunFor(20);
      sim::DeliverNotices();
    }
  }
  const auto refreshes = sim::Calls(sim::Call::MidiOutGetNumDevs).size();
  const auto changes = std::count_if(row.Steps.begin(), row.Steps.end(), [](const TStep& s) { return s.Change.has_value(); });
  EXPECT_EQ(refreshes, static_cast<std::size_t>(1 + changes)) << "one reading of the catalogue per change, however many notices";
  // Before the exit, which releases what the input still holds.
  for (const TReceived& expected : row.Receives) {
    std::vector<DWORD> shorts;
    for (const sim::Received& r : sim::ReceivedByDevice(expected.Device.Name, expected.Device.Unit))
      if (!r.Long) shorts.push_back(r.Short);
    EXPECT_EQ(shorts, expected.Shorts) << expected.Device.Name << " unit " << expected.Device.Unit;
  }
  Shutdown();

  const TIniFile file(settingsPath);
  for (const TStored& stored : row.FileHolds)
    EXPECT_EQ(file.ReadString(stored.Section, stored.Key, "<absent>"), stored.Value)
        << stored.Section << "/" << stored.Key;
}

INSTANTIATE_TEST_SUITE_P(Rows, DeviceChanges, ::testing::ValuesIn(Rows),
                         [](const auto& info) { return "Row" + std::to_string(info.index); });

}  // namespace

namespace {

class DevicesTakenBack : public EngineFixture {
 protected:
  void TearDown() override {
    sim::SetRealTime(false);
    EngineFixture::TearDown();
  }
};

// A synth that stops answering is looked at every two seconds, by reading
// its capabilities: it is not opened while it does not answer, so a driver
// whose open hangs for a quarter of a second costs the input nothing. Once
// it answers it is opened again, without a Reopen.
TEST_F(DevicesTakenBack, ALostSynthIsOpenedAgainOnlyOnceItAnswers) {
  sim::SetOutputDevices({SynthA, {.Name = "Synth B", .DriverVersion = 0x010A, .OpenMilliseconds = 250}});
  BootAndStart();
  engine->SetChannelDevice(1, 1);
  sim::SetOutputPresent(1, false);
  Play(NoteOn(1, 60));
  sim::RunFor(4);
  sim::DeliverNotices();
  ASSERT_EQ(engine->MidiOutStates(1), mpsLost);

  sim::ClearCalls();
  for (int retry = 0; retry < 5; ++retry) {
    sim::RunFor(TVelmoraEngine::LostRetryMilliseconds);
    sim::DeliverNotices();
  }
  std::size_t looks = 0;
  for (const sim::CallRecord& call : sim::Calls(sim::Call::MidiOutGetDevCaps)) looks += call.Device == 1 ? 1 : 0;
  EXPECT_EQ(looks, 5u) << "one look every two seconds";
  EXPECT_TRUE(sim::Calls(sim::Call::MidiOutOpen).empty()) << "no open of a device that does not answer";

  sim::SetOutputPresent(1, true);
  sim::RunFor(TVelmoraEngine::LostRetryMilliseconds);
  sim::DeliverNotices();
  EXPECT_EQ(engine->MidiOutStates(1), mpsOpen);
  sim::ClearReceived();
  Play(NoteOn(1, 62));
  sim::RunFor(4);
  EXPECT_EQ(ShortsTo(1), (std::vector<DWORD>{NoteOn(1, 62)}));
}

// What a device change costs the MIDI path, in real time: messages queued
// for Synth A fall due while the main thread reads the catalogue and opens
// a slow synth that has just arrived (its open takes 250 ms). The timer
// thread sends them meanwhile; only the input's notices wait for the open.
TEST_F(DevicesTakenBack, RoutingToTheOtherDevicesGoesOnDuringAChange) {
  constexpr int Notes = 40;
  constexpr std::int32_t Delay = 300;
  sim::SetOutputDevices({SynthA});
  const std::string settings =
      "[VelmoraEngine]\nMidiInDeviceName=Keyboard (1.0)\n[Preset_default]\nDevice0=Synth A (1.5)\n"
      "Device1=Slow Synth (1.0)\n";
  InitializeIniDefs();
  ASSERT_TRUE(platform::ReplaceFileText(IniFileName, settings));
  FinalizeIniDefs();
  BootAndStart();
  engine->SetDelay(0, Delay);
  sim::SetRealTime(true);

  // Notes due one after another over 100 ms, from 300 ms on; their worst
  // lateness at Synth A once they have all been sent.
  std::vector<TDateTime> due;
  const auto playBurst = [&] {
    sim::ClearReceived();
    due.clear();
    for (int note = 0; note < Notes; ++note) {
      due.push_back(platform::Now() + MillisecondsToDateTime(Delay));
      Play(NoteOn(0, note));
      std::this_thread::sleep_for(std::chrono::microseconds(2500));
    }
  };
  const auto worstLateness = [&](const std::vector<sim::Received>& received) {
    double worst = 0;
    for (std::size_t i = 0; i < received.size() && i < due.size(); ++i)
      worst = std::max(worst, DateTimeToMilliseconds(received[i].Time - due[i]));
    return worst;
  };
  // The reference: the same burst with no change.
  playBurst();
  std::this_thread::sleep_for(std::chrono::milliseconds(Delay + 150));
  const double referenceLateness = worstLateness(sim::ReceivedBy(0));

  playBurst();
  sim::ChangeOutputDevices({SynthA, {.Name = "Slow Synth", .DriverVersion = 0x0100, .OpenMilliseconds = 250}});
  std::this_thread::sleep_for(std::chrono::milliseconds(Delay - 150));
  const TDateTime changeStart = platform::Now();
  engine->RefreshDevices();
  const TDateTime changeEnd = platform::Now();
  const auto atTheEnd = sim::ReceivedBy(0);
  sim::SetRealTime(false);

  ASSERT_EQ(engine->ChannelDevices(1), 1) << "the slow synth took its channel";
  EXPECT_EQ(engine->MidiOutStates(1), mpsOpen);
  std::size_t sentDuringChange = 0;
  std::vector<DWORD> sent;
  for (const sim::Received& received : atTheEnd) {
    sent.push_back(received.Short);
    sentDuringChange += received.Time >= changeStart && received.Time <= changeEnd ? 1 : 0;
  }
  std::vector<DWORD> played;
  for (int note = 0; note < Notes; ++note) played.push_back(NoteOn(0, note));
  EXPECT_EQ(sent, played) << "every note queued for Synth A went out, in order, before the change had ended";
  TReliabilityFigures("device-change-cost",
                      "notes for Synth A falling due while the main thread reads the catalogue and opens an "
                      "arriving synth whose open takes 250 ms, in real time, beside the same notes with no change")
      .Add("change_ms", DateTimeToMilliseconds(changeEnd - changeStart))
      .Add("notes", Notes)
      .Add("sent_during_change", sentDuringChange)
      .Add("worst_lateness_ms", worstLateness(atTheEnd))
      .Add("reference_worst_lateness_ms", referenceLateness)
      .Print();
}

}  // namespace
