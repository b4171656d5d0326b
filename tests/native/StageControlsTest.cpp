// Presets selected by Program Change, and the panic command, driven as on
// stage: messages on the simulated input, the result on the devices and in
// the stored presets.
#include <algorithm>
#include <functional>

#include "midi/MidiMessages.h"
#include "settings/IniFile.h"
#include "tests/native/EngineFixture.h"

namespace {

DWORD ProgramChange(int Channel, int Program) { return midi::Pack(0xC0 | Channel, Program, 0); }
DWORD On(int Channel, int Key) { return midi::Pack(0x90 | Channel, Key, 100); }
DWORD Off(int Channel, int Key) { return midi::Pack(0x80 | Channel, Key, 0); }

class StageControls : public EngineFixture {
 public:
  using EngineFixture::engine;
  using EngineFixture::Play;

 protected:
  // "default" routes everything to device 0, "B" channel 0 to device 1,
  // "C" channel 0 to device 2; the other channels stay on device 0.
  void BootWithThreePresets() {
    BootAndStart();
    for (int device = 1; device <= 2; ++device) {
      engine->Presets().AddPreset(device == 1 ? "B" : "C");
      engine->SetChannelDevice(0, device);
    }
    engine->Presets().SetItemIndex(0);
    sim::DeliverNotices();
    sim::ClearReceived();
    events.clear();
  }
  std::string StoredDeviceOfChannel0(const std::string& Preset) {
    return WrittenSettings().ReadString("Preset_" + Preset, "Device0", "");
  }
};

TEST_F(StageControls, ProgramChangesOnTheChosenChannelSelectPresetsAndAreNotRouted) {
  struct TCase {
    const char* Name;
    std::int32_t SwitchChannel;
    std::function<void(StageControls&)> Play;
    std::int32_t Preset;                // current afterwards
    std::vector<DWORD> ToDevice0;       // what device 0 received
    int PresetEvents;                   // selections reported
  };
  const TCase cases[] = {
      {"off: routed like any message", -1, [](StageControls& f) { f.Play(ProgramChange(15, 1)); }, 0, {ProgramChange(15, 1)}, 0},
      {"another channel's are routed", 15, [](StageControls& f) { f.Play(ProgramChange(3, 1)); }, 0, {ProgramChange(3, 1)}, 0},
      {"in range: selects that position", 15, [](StageControls& f) { f.Play(ProgramChange(15, 2)); }, 2, {}, 1},
      {"beyond the last preset: nothing", 15, [](StageControls& f) { f.Play(ProgramChange(15, 3)); }, 0, {}, 0},
      {"a burst selects only the last", 15,
       [](StageControls&) {
         sim::InjectShort(0, ProgramChange(15, 1));
         sim::InjectShort(0, ProgramChange(15, 2));
         sim::DeliverNotices();
       },
       2, {}, 1},
      {"a held note ends where it sounded", 15,
       [](StageControls& f) {
         f.Play(On(0, 60));
         f.Play(ProgramChange(15, 1));
         f.Play(Off(0, 60));
       },
       1, {On(0, 60), Off(0, 60)}, 1},
      {"a Bank Select before it belongs to the switch", 15,
       [](StageControls& f) {
         f.Play(midi::Pack(0xBF, midi::BankSelectCoarse, 1));
         f.Play(midi::Pack(0xBF, midi::BankSelectFine, 5));
         f.Play(ProgramChange(15, 2));
       },
       2, {}, 1},
      {"held while a dialog is modal, selected when it closes", 15,
       [](StageControls& f) {
         f.engine->HoldPresetSwitches(true);
         f.Play(ProgramChange(15, 1));
         sim::DeliverNotices();
         EXPECT_EQ(f.engine->Presets().ItemIndex(), 0) << "waits while held";
         f.engine->HoldPresetSwitches(false);
       },
       1, {}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    BootWithThreePresets();
    engine->SetPresetSwitchChannel(c.SwitchChannel);
    events.clear();
    c.Play(*this);
    sim::DeliverNotices();
    EXPECT_EQ(engine->Presets().ItemIndex(), c.Preset);
    EXPECT_EQ(ShortsTo(0), c.ToDevice0);
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const std::string& e) { return e.rfind("preset ", 0) == 0; }),
              c.PresetEvents);
    // The map left was stored under its own name; the others are untouched.
    EXPECT_EQ(StoredDeviceOfChannel0("default"), "Synth A (1.5)");
    EXPECT_EQ(StoredDeviceOfChannel0("B"), "Synth B (1.10)");
    EXPECT_EQ(StoredDeviceOfChannel0("C"), "Synth C (0.0)");
    Shutdown();
  }
}

TEST_F(StageControls, TheSwitchingChannelIsStoredInASectionOfItsOwnAndReadBack) {
  const struct {
    const char* Stored;  // the section as a hand-edited file holds it
    std::int32_t Read;
  } cases[] = {{"[Presets]\nPresetsCount=0\n", -1}, {"[PresetSwitch]\nChannel=9\n", 9}, {"[PresetSwitch]\nChannel=16\n", -1},
               {"[PresetSwitch]\nChannel=-7\n", -1}, {"[PresetSwitch]\nChannel=x\n", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Stored);
    SetUp();
    InitializeIniDefs();
    platform::ReplaceFileText(IniFileName, c.Stored);
    FinalizeIniDefs();
    BootAndStart();
    EXPECT_EQ(engine->PresetSwitchChannel(), c.Read);
    engine->SetPresetSwitchChannel(4);
    Shutdown();
    EXPECT_EQ(WrittenSettings().ReadInteger("PresetSwitch", "Channel", -1), 4);
    const std::string text = SettingsText();
    if (std::string(c.Stored).rfind("[Presets]", 0) == 0) {
      EXPECT_GT(text.find("[PresetSwitch]"), text.find("[Presets]")) << "a file without it gains it at its end";
    }
  }
}

TEST_F(StageControls, PanicDropsEveryQueuedMessageAndSilencesEveryOpenDevice) {
  BootAndStart();
  for (std::uint8_t c = 0; c < 3; ++c) engine->SetChannelDevice(c, c);
  // Held on three devices, struck again and again without a release as a
  // drum source does: one Note Off each all the same.
  for (int strike = 0; strike < 3; ++strike)
    for (int device = 0; device < 3; ++device) Play(On(device, 60 + device));
  for (int device = 0; device < 3; ++device) engine->SetDelay(device, 5000);
  for (int i = 0; i < 10000; ++i) sim::InjectShort(0, midi::Pack(0xA0 | (i % 3), i % 128, 1));
  sim::DeliverNotices();
  const std::uint8_t dump[] = {0xF0, 0x7D, 0x01, 0xF7};
  engine->SetDelay(0, 0);
  sim::InjectSysEx(0, dump, sizeof dump);  // queued behind the waiting messages
  sim::DeliverNotices();
  sim::ClearReceived();

  engine->Panic();
  sim::RunFor(6000);
  for (int device = 0; device < 3; ++device) {
    SCOPED_TRACE(device);
    std::vector<DWORD> expected = {Off(device, 60 + device)};
    for (int channel = 0; channel < ChannelCount; ++channel)
      for (int controller : {64, 120, 121, 123}) expected.push_back(midi::Pack(0xB0 | channel, controller, 0));
    EXPECT_EQ(ShortsTo(device), expected);
    EXPECT_TRUE(LongsTo(device).empty()) << "nothing queued before the panic is sent after it";
    EXPECT_EQ(engine->MidiOutStates(device), mpsOpen) << "devices stay open";
    EXPECT_EQ(engine->ChannelDevices(static_cast<std::uint8_t>(device)), device);
  }
  sim::ClearReceived();
  Play(Off(0, 60));  // no longer held anywhere: to the channel's device, at once
  EXPECT_EQ(ShortsTo(0), (std::vector<DWORD>{Off(0, 60)}));
}

}  // namespace
