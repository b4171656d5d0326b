// The engine's settings and presets in the settings file: what a start
// restores, what an exit writes and in which order, presets keeping their
// maps through every edit, and a file that cannot be written.
#include <cstdio>
#include <functional>
#include <sstream>

#include "settings/IniFile.h"
#include "tests/native/EngineFixture.h"

namespace {

class EnginePersistence : public EngineFixture {
 protected:
  // The file's non-blank lines, line ends stripped.
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::istringstream in(SettingsText());
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }
  void WriteSettings(const std::string& Text) {
    InitializeIniDefs();
    settingsPath = IniFileName;
    ASSERT_TRUE(platform::ReplaceFileText(IniFileName, Text));
    FinalizeIniDefs();
  }
  std::string Read(const std::string& Section, const std::string& Key) {
    return WrittenSettings().ReadString(Section, Key, "<absent>");
  }
  // The channel map stored under a preset, as device indices.
  std::vector<std::int32_t> StoredMap(const std::string& Preset) {
    std::vector<std::int32_t> map;
    for (int c = 0; c < 16; ++c)
      map.push_back(MidiOutDeviceNames.IndexOf(Read("Preset_" + Preset, "Device" + std::to_string(c))));
    return map;
  }
  std::vector<std::int32_t> LiveMap() {
    std::vector<std::int32_t> map;
    for (std::uint8_t c = 0; c < 16; ++c) map.push_back(engine->ChannelDevices(c));
    return map;
  }
  static std::vector<std::int32_t> Uniform(std::int32_t D) { return std::vector<std::int32_t>(16, D); }
};

TEST_F(EnginePersistence, TheFirstExitWritesEverySectionInItsOrder) {
  BootAndStart();
  Shutdown();
  std::vector<std::string> expected = {"[Preset_default]"};
  for (int c = 0; c < 16; ++c) expected.push_back("Device" + std::to_string(c) + "=Synth A (1.5)");
  const std::vector<std::string> rest = {
      "[VelmoraEngine]",  "MidiInDeviceName=Keyboard (1.0)", "TimerInterval=4",      "PresetIndex=0",
      "[MidiOutDelays]",  "MidiOutNumDevs=3",                "Device0=Synth A (1.5)", "Delay0=0",
      "Device1=Synth B (1.10)", "Delay1=0",                  "Device2=Synth C (0.0)", "Delay2=0",
      "[PresetSwitch]",   "Channel=-1",                      "[SystemMessages]",     "Route=0",
      "[Presets]",        "PresetsCount=0"};
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(Lines(), expected);
}

TEST_F(EnginePersistence, AStartRestoresDevicesDelaysIntervalAndPresetByName) {
  WriteSettings(
      "[VelmoraEngine]\r\nMidiInDeviceName=sequencer (2.3)\r\nTimerInterval=0x10\r\nPresetIndex=1\r\n"
      "[MidiOutDelays]\r\nMidiOutNumDevs=4\r\n"
      "Device0=Synth C (0.0)\r\nDelay0=120\r\n"     // follows the device by name
      "Device1=Gone Synth (1.0)\r\nDelay1=77\r\n"   // absent: kept for its return
      "Device2=Synth A (1.5)\r\nDelay2=5\r\n"
      "Device3=Synth A (1.5)\r\nDelay3=9\r\n"       // the later pair wins
      "[Presets]\r\nPresetsCount=1\r\nPresetName1=Live\r\n"
      "[Preset_Live]\r\nDevice0=Synth B (1.10)\r\nDevice1=Gone Synth (1.0)\r\nDevice15=synth c (0.0)\r\n");
  BootAndStart();
  EXPECT_EQ(engine->MidiInDevice(), 1);
  EXPECT_EQ(engine->Delays(2), 120);
  EXPECT_EQ(engine->Delays(0), 9);
  EXPECT_EQ(engine->Delays(1), 0);
  EXPECT_EQ(engine->TimerInterval(), 16);
  EXPECT_EQ(engine->Presets().CurrentName(), "Live");
  std::vector<std::int32_t> expected = Uniform(0);
  expected[0] = 1;
  expected[15] = 2;
  EXPECT_EQ(LiveMap(), expected);
  Shutdown();
  // The absent device's delay stays in the file, after those present; a
  // missing device in a preset keeps its name while the channel plays on
  // device 0.
  EXPECT_EQ(Read("MidiOutDelays", "MidiOutNumDevs"), "4");
  EXPECT_EQ(Read("MidiOutDelays", "Device2"), "Synth C (0.0)");
  EXPECT_EQ(Read("MidiOutDelays", "Delay2"), "120");
  EXPECT_EQ(Read("MidiOutDelays", "Device3"), "Gone Synth (1.0)");
  EXPECT_EQ(Read("MidiOutDelays", "Delay3"), "77");
  EXPECT_EQ(Read("Preset_Live", "Device1"), "Gone Synth (1.0)");
}

TEST_F(EnginePersistence, NumberedKeysAfterAGapAreReadUpToTheStoredCount) {
  const struct {
    const char* Name;
    std::string File;
    std::vector<std::string> Presets;
    std::vector<std::int32_t> Delays;  // of the three output devices
  } cases[] = {
      {"a gap in the names", "[Presets]\r\nPresetsCount=5\r\nPresetName1=A\r\nPresetName5=E\r\n",
       {"default", "A", "E"}, {0, 0, 0}},
      {"a name above the count stays unread",
       "[Presets]\r\nPresetsCount=2\r\nPresetName1=A\r\nPresetName3=C\r\n", {"default", "A"}, {0, 0, 0}},
      {"a huge count of names", "[Presets]\r\nPresetsCount=2000000000\r\nPresetName2000000000=Z\r\n",
       {"default", "Z"}, {0, 0, 0}},
      {"a gap in the delays",
       "[MidiOutDelays]\r\nMidiOutNumDevs=4\r\nDevice3=Synth B (1.10)\r\nDelay3=40\r\n", {"default"},
       {0, 40, 0}},
      {"a pair above the count stays unread",
       "[MidiOutDelays]\r\nMidiOutNumDevs=2\r\nDevice0=Synth A (1.5)\r\nDelay0=5\r\n"
       "Device2=Synth C (0.0)\r\nDelay2=7\r\n",
       {"default"}, {5, 0, 0}},
      {"a huge count of pairs",
       "[MidiOutDelays]\r\nMidiOutNumDevs=2000000000\r\nDevice1999999999=Synth C (0.0)\r\n"
       "Delay1999999999=9\r\n",
       {"default"}, {0, 0, 9}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteSettings(c.File);
    BootAndStart();
    EXPECT_EQ(engine->Presets().Items(), c.Presets);
    for (std::int32_t d = 0; d < 3; ++d) EXPECT_EQ(engine->Delays(d), c.Delays[d]) << "device " << d;
    Shutdown();
    // What was read is what the exit stores.
    for (std::int32_t d = 0; d < 3; ++d)
      EXPECT_EQ(Read("MidiOutDelays", "Delay" + std::to_string(d)), std::to_string(c.Delays[d]));
    EXPECT_EQ(Read("Presets", "PresetsCount"), std::to_string(c.Presets.size() - 1));
  }
}

TEST_F(EnginePersistence, AnExitBeforeStartLeavesTheSettingsFileAsItWas) {
  const struct {
    const char* Name;
    const char* File;  // nullptr: there is none
  } cases[] = {
      {"a file with every section",
       "[VelmoraEngine]\r\nMidiInDeviceName=Sequencer (2.3)\r\nTimerInterval=2\r\nPresetIndex=1\r\n"
       "[MidiOutDelays]\r\nMidiOutNumDevs=3\r\nDevice0=Synth A (1.5)\r\nDelay0=15\r\n"
       "Device1=Synth B (1.10)\r\nDelay1=0\r\nDevice2=Synth C (0.0)\r\nDelay2=300\r\n"
       "[Presets]\r\nPresetsCount=1\r\nPresetName1=Live\r\n"
       "[Preset_Live]\r\nDevice0=Synth C (0.0)\r\n"},
      {"a file without preset names", "[Velmora]\r\nLeft=40\r\nTop=50\r\n"},
      {"no file", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.File) WriteSettings(c.File);
    Boot();
    Shutdown();
    if (c.File) {
      EXPECT_EQ(SettingsText(), c.File);
    } else {
      EXPECT_FALSE(platform::FileExists(settingsPath)) << "no file is made";
    }
    std::remove(settingsPath.c_str());
  }
}

TEST_F(EnginePersistence, APresetSwitchReplacesTheFileOnceAndTheExitOncePerWriter) {
  BootAndStart();
  engine->Presets().AddPreset("Live");
  SettingsWritten();
  const struct {
    const char* Name;
    std::function<void()> Action;
    std::size_t Replacements;
  } cases[] = {
      {"switch to default", [this] { engine->Presets().SetItemIndex(0); }, 1},
      {"switch to Live", [this] { engine->Presets().SetItemIndex(1); }, 1},
      {"a channel change", [this] { engine->SetChannelDevice(3, 2); }, 0},
      {"exit: preset map, engine settings, preset names", [this] { Shutdown(); }, 3},
  };
  for (const auto& c : cases) {
    sim::ClearCalls();
    c.Action();
    SettingsWritten();
    EXPECT_EQ(sim::Calls(sim::Call::ReplaceFile).size(), c.Replacements) << c.Name;
  }
  EXPECT_EQ(Read("Preset_Live", "Device3"), "Synth C (0.0)");
}

TEST_F(EnginePersistence, UnknownInputAndOutOfRangeValuesFallBackAsDecided) {
  WriteSettings(
      "[VelmoraEngine]\r\nMidiInDeviceName=Unplugged (1.0)\r\nTimerInterval=12abc\r\nPresetIndex=99\r\n"
      "[MidiOutDelays]\r\nMidiOutNumDevs=2000000000\r\nDevice0=Synth B (1.10)\r\nDelay0=600000\r\n"
      "[Presets]\r\nPresetsCount=2\r\nPresetName1=A\r\nPresetName2=B\r\n");
  BootAndStart();
  EXPECT_EQ(engine->MidiInDevice(), 0);
  EXPECT_EQ(engine->TimerInterval(), 4);
  EXPECT_EQ(engine->Presets().ItemIndex(), 2) << "clamped to the last preset";
  EXPECT_EQ(engine->Delays(1), 59999);
  Shutdown();
  EXPECT_EQ(Read("MidiOutDelays", "Delay1"), "59999");
}

TEST_F(EnginePersistence, PresetsKeepTheirMapsThroughAddSelectRenameMoveAndDelete) {
  BootAndStart();
  TPresets& presets = engine->Presets();
  engine->SetChannelDevice(0, 2);  // default: channel 0 on device 2
  presets.AddPreset("Piano");      // stores default's map; the new one starts on device 0
  EXPECT_EQ(LiveMap(), Uniform(0));
  EXPECT_EQ(StoredMap("default")[0], 2);
  MapAll(1);
  presets.AddPreset("Organ");
  MapAll(2);
  presets.SetItemIndex(1);  // Piano
  EXPECT_EQ(LiveMap(), Uniform(1));
  EXPECT_EQ(StoredMap("Organ"), Uniform(2));

  presets.RenamePreset("Grand");  // the map follows the new name, the old section stays
  EXPECT_EQ(presets.CurrentName(), "Grand");
  EXPECT_EQ(LiveMap(), Uniform(1));
  EXPECT_EQ(StoredMap("Grand"), Uniform(1));
  EXPECT_EQ(StoredMap("Piano"), Uniform(1));

  engine->SetChannelDevice(9, 0);  // a live change, then moves keep it under its own name
  std::vector<std::int32_t> grand = Uniform(1);
  grand[9] = 0;
  presets.MovePresetDown();
  EXPECT_EQ(presets.Items(), (std::vector<std::string>{"default", "Organ", "Grand"}));
  EXPECT_EQ(presets.CurrentName(), "Grand");
  EXPECT_EQ(LiveMap(), grand);
  presets.MovePresetUp();
  EXPECT_EQ(presets.ItemIndex(), 1);
  EXPECT_EQ(LiveMap(), grand);
  EXPECT_EQ(StoredMap("Grand"), grand);
  EXPECT_EQ(StoredMap("Organ"), Uniform(2));

  presets.DeletePreset();  // Grand's live map is discarded, Organ's is loaded
  EXPECT_EQ(presets.CurrentName(), "Organ");
  EXPECT_EQ(LiveMap(), Uniform(2));
  EXPECT_EQ(StoredMap("Organ"), Uniform(2));
  std::vector<std::int32_t> stored = Uniform(0);
  stored[0] = 2;
  EXPECT_EQ(StoredMap("default"), stored);

  presets.SetItemIndex(0);
  EXPECT_EQ(LiveMap(), stored);
  presets.AddPreset("Piano");  // the old section's map comes back with its name
  EXPECT_EQ(LiveMap(), Uniform(1));
}

TEST_F(EnginePersistence, SelectingTheCurrentPresetAgainKeepsTheMapAndReportsTheIndex) {
  BootAndStart();
  engine->SetChannelDevice(4, 2);
  events.clear();
  engine->Presets().SetItemIndex(0);
  EXPECT_EQ(engine->ChannelDevices(4), 2);
  EXPECT_EQ(events, (std::vector<std::string>{"preset 0"}));
}

TEST_F(EnginePersistence, AMachineWithoutOutputDevicesKeepsTheStoredPresets) {
  WriteSettings("[Preset_default]\r\nDevice0=Synth B (1.10)\r\n");
  sim::SetOutputDevices({});
  BootAndStart();
  for (std::uint8_t c = 0; c < 16; ++c) EXPECT_EQ(engine->ChannelDevices(c), -1);
  Play(0x90);
  EXPECT_TRUE(engine->MessageList().Empty());
  Shutdown();
  EXPECT_EQ(Read("Preset_default", "Device0"), "Synth B (1.10)");
  EXPECT_EQ(Read("MidiOutDelays", "MidiOutNumDevs"), "0");
}

TEST_F(EnginePersistence, AMachineWithoutInputDevicesKeepsTheStoredInputName) {
  WriteSettings("[VelmoraEngine]\r\nMidiInDeviceName=Keyboard (1.0)\r\n");
  sim::SetInputDevices({});
  BootAndStart();
  EXPECT_EQ(engine->MidiIn().State(), mpsClosed);
  Shutdown();
  EXPECT_EQ(Read("VelmoraEngine", "MidiInDeviceName"), "Keyboard (1.0)");
}

TEST_F(EnginePersistence, AFailedWriteLeavesTheFileAsItWasAndTheEngineRunning) {
  BootAndStart();
  Shutdown();
  const std::string before = SettingsText();
  BootAndStart();
  engine->SetDelay(1, 300);
  sim::FailCall(sim::Call::ReplaceFile, 0, -1);
  engine->Presets().AddPreset("Stage");  // saving default's map fails; the switch goes on
  EXPECT_EQ(engine->Presets().CurrentName(), "Stage");
  Play(0x90);
  sim::RunFor(8);
  EXPECT_EQ(ShortsTo(0).size(), 1u) << "routing goes on";
  Shutdown();
  EXPECT_EQ(SettingsText(), before);
  sim::ClearFailures();
}

TEST_F(EnginePersistence, ALiveMapThatCouldNotBeStoredIsNotReplacedByAnOlderOne) {
  BootAndStart();
  engine->Presets().AddPreset("Live");
  MapAll(1);
  engine->Presets().SetItemIndex(1);  // stored: Live on device 1
  sim::FailCall(sim::Call::ReplaceFile, 0, -1);
  engine->SetChannelDevice(5, 2);
  engine->Presets().SetItemIndex(1);  // selected again: the save fails
  EXPECT_EQ(engine->ChannelDevices(5), 2);
  engine->Presets().RenamePreset("Stage");
  EXPECT_EQ(engine->ChannelDevices(5), 2);
  engine->Presets().SetItemIndex(0);  // another preset: its own map, as asked
  EXPECT_EQ(engine->ChannelDevices(5), 0);
  sim::ClearFailures();
}

}  // namespace

// A disk whose every read and write takes 200 ms (a laptop's disk under a
// virus scan): a preset switch stores the map it leaves and loads the next
// one, and the note that arrives meanwhile is routed at once, while the
// switch's save is still on its way to the disk.
TEST_F(EnginePersistence, ANoteArrivingDuringAPresetSwitchIsRoutedWithoutWaitingForTheDisk) {
  BootAndStart();
  engine->Presets().AddPreset("Live");
  MapAll(1);
  SettingsWritten();
  const std::size_t written = sim::Calls(sim::Call::ReplaceFile).size();
  sim::SetDiskLatency(200);
  constexpr DWORD NoteOn = 0x00403C90;
  sim::InjectShort(engine->MidiIn().DeviceIndex(), NoteOn);  // handled once the switch returns
  engine->Presets().SetItemIndex(0);  // as the preset list of the main window does
  sim::DeliverNotices();
  EXPECT_EQ(ShortsTo(0), std::vector<DWORD>{NoteOn}) << "routed by default's map";
  EXPECT_EQ(sim::Calls(sim::Call::ReplaceFile).size(), written) << "before the disk has stored Live's map";
  // The disk finishes its read and its write as the clock goes on.
  ASSERT_TRUE(Eventually([&] {
    sim::AdvanceMs(200);
    return sim::Calls(sim::Call::ReplaceFile).size() > written;
  }));
  SettingsWritten();
  EXPECT_EQ(sim::Calls(sim::Call::ReplaceFile).size(), written + 1);
  sim::SetDiskLatency(0);
  EXPECT_EQ(Read("Preset_Live", "Device15"), "Synth B (1.10)");
  engine->Presets().SetItemIndex(1);  // a load sees the save asked before it
  EXPECT_EQ(engine->ChannelDevices(15), 1);
}
