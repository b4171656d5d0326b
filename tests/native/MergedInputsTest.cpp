// More than one input merged into the one routing: a keyboard, a sequencer
// and a pad controller. Each row: the stored settings, then steps (a message
// played on an input, an input checked or unchecked on the Inputs page, a
// channel moved, the catalogue changed, time passing), then what each synth
// received in order and what the file holds after the exit's save.
#include <cstdio>
#include <optional>

#include "midi/MidiOutput.h"
#include "settings/IniFile.h"
#include "tests/native/EngineFixture.h"

namespace {

constexpr DWORD NoteOn(int Channel, int Key) { return midi::Pack(0x90 | Channel, Key, 0x40); }
constexpr DWORD NoteOff(int Channel, int Key) { return midi::Pack(0x80 | Channel, Key, 0); }
constexpr DWORD Sustain(int Channel, int Value) { return midi::Pack(0xB0 | Channel, 64, Value); }
constexpr DWORD Program(int Channel, int Program) { return midi::Pack(0xC0 | Channel, Program, 0); }

const sim::DeviceConfig SynthA{.Name = "Synth A", .DriverVersion = 0x0105};
const sim::DeviceConfig SynthB{.Name = "Synth B", .DriverVersion = 0x010A};
const sim::DeviceConfig Keyboard{.Name = "Keyboard", .DriverVersion = 0x0100};
const sim::DeviceConfig Sequencer{.Name = "Sequencer", .DriverVersion = 0x0203};
const sim::DeviceConfig Pads{.Name = "Pads", .DriverVersion = 0x0100};
enum : int { Kbd = 0, Seq = 1, Pad = 2 };  // catalogue positions of the inputs

using TBytes = std::vector<std::uint8_t>;
struct TStep {
  int Input = -1;  // plays Short, or SysEx when it has bytes
  DWORD Short = 0;
  TBytes SysEx = {};
  std::optional<std::pair<int, bool>> Check = {};  // input, checked: the Inputs page
  std::optional<int> MainInput = {};               // the main window's MIDI IN list
  std::optional<std::pair<int, int>> Map = {};     // channel, device
  std::optional<std::vector<sim::DeviceConfig>> Inputs = {};  // the system lists these now
  double Wait = 20;
};
struct TStored {
  std::string Key, Value;  // in [MidiInputs]
};
struct TMergeRow {
  const char* Name;
  std::string Settings;
  std::vector<TStep> Steps;
  std::vector<std::string> ToA = {}, ToB = {};  // what each synth received, in hex
  std::vector<TStored> FileHolds = {};
  std::vector<sim::DeviceConfig> Inputs = {Keyboard, Sequencer, Pads};
};
void PrintTo(const TMergeRow& Row, std::ostream* Out) { *Out << Row.Name; }

std::string Hex(const TBytes& Bytes) {
  std::string text;
  for (const std::uint8_t b : Bytes) {
    char cell[4];
    std::snprintf(cell, sizeof cell, text.empty() ? "%02X" : " %02X", b);
    text += cell;
  }
  return text;
}
std::string Hex(DWORD Message) {
  const std::uint8_t status = midi::StatusOf(Message);
  TBytes bytes{status, midi::Data1Of(Message), midi::Data2Of(Message)};
  if (status >= 0xC0 && status < 0xE0) bytes.pop_back();  // program and channel pressure: one data byte
  return Hex(bytes);
}

// The start of a dump that fills the input's buffer, so the driver returns
// it before the dump's end.
const TBytes DumpStart = [] {
  TBytes bytes(TMidiInput::SysExBufferSize, 0x01);
  bytes.front() = 0xF0;
  return bytes;
}();

const std::string Routing =
    "[VelmoraEngine]\nMidiInDeviceName=Keyboard (1.0)\n"
    "[Preset_default]\nDevice0=Synth A (1.5)\nDevice1=Synth B (1.10)\n";
const std::string WithSequencer = Routing + "[MidiInputs]\nCount=1\nDevice0=Sequencer (2.3)\n";

const std::vector<TMergeRow> Rows = {
    {.Name = "two inputs play through one routing",
     .Settings = WithSequencer,
     .Steps = {{.Input = Kbd, .Short = NoteOn(0, 60)}, {.Input = Seq, .Short = NoteOn(1, 62)},
               {.Input = Seq, .Short = NoteOn(0, 64)}},
     .ToA = {Hex(NoteOn(0, 60)), Hex(NoteOn(0, 64))},
     .ToB = {Hex(NoteOn(1, 62))},
     .FileHolds = {{"Count", "1"}, {"Device0", "Sequencer (2.3)"}}},
    {.Name = "three inputs, the third checked on the page",
     .Settings = WithSequencer,
     .Steps = {{.Check = std::pair{Pad, true}}, {.Input = Pad, .Short = NoteOn(1, 36)},
               {.Input = Seq, .Short = NoteOn(1, 37)}, {.Input = Kbd, .Short = NoteOn(1, 38)}},
     .ToB = {Hex(NoteOn(1, 36)), Hex(NoteOn(1, 37)), Hex(NoteOn(1, 38))},
     .FileHolds = {{"Count", "2"}, {"Device0", "Sequencer (2.3)"}, {"Device1", "Pads (1.0)"}}},
    // The sequencer's key sounds on A, the keyboard's on B after the move:
    // the keyboard's release ends its own key, not the sequencer's, older one.
    {.Name = "the same key from two inputs on two devices ends where each began",
     .Settings = WithSequencer,
     .Steps = {{.Input = Seq, .Short = NoteOn(0, 60)}, {.Map = std::pair{0, 1}},
               {.Input = Kbd, .Short = NoteOn(0, 60)}, {.Input = Kbd, .Short = NoteOff(0, 60)}},
     .ToA = {Hex(NoteOn(0, 60))},
     .ToB = {Hex(NoteOn(0, 60)), Hex(NoteOff(0, 60))}},
    {.Name = "a pedal lifted on one input leaves the other input's pedal down on its device",
     .Settings = WithSequencer,
     .Steps = {{.Input = Seq, .Short = Sustain(0, 127)}, {.Map = std::pair{0, 1}},
               {.Input = Kbd, .Short = Sustain(0, 127)}, {.Input = Kbd, .Short = Sustain(0, 0)},
               {.Input = Seq, .Short = Sustain(0, 0)}},
     .ToA = {Hex(Sustain(0, 127)), Hex(Sustain(0, 0))},
     .ToB = {Hex(Sustain(0, 127)), Hex(Sustain(0, 0)), Hex(Sustain(0, 0))}},
    {.Name = "the same key on one device from two inputs is one note, the first release ends it",
     .Settings = WithSequencer,
     .Steps = {{.Input = Kbd, .Short = NoteOn(0, 60)}, {.Input = Seq, .Short = NoteOn(0, 60)},
               {.Input = Kbd, .Short = NoteOff(0, 60)}, {.Input = Seq, .Short = NoteOff(0, 60)}},
     .ToA = {Hex(NoteOn(0, 60)), Hex(NoteOn(0, 60)), Hex(NoteOff(0, 60)), Hex(NoteOff(0, 60))}},
    {.Name = "an input unchecked with keys held releases its own keys only",
     .Settings = WithSequencer,
     .Steps = {{.Input = Kbd, .Short = NoteOn(0, 60)}, {.Input = Seq, .Short = NoteOn(1, 62)},
               {.Input = Seq, .Short = Sustain(1, 100)}, {.Check = std::pair{Seq, false}},
               {.Input = Seq, .Short = NoteOn(1, 63)}},
     .ToA = {Hex(NoteOn(0, 60))},
     .ToB = {Hex(NoteOn(1, 62)), Hex(Sustain(1, 100)), Hex(NoteOff(1, 62)), Hex(Sustain(1, 0))},
     .FileHolds = {{"Count", "0"}}},
    {.Name = "system-exclusive messages of two inputs at once go whole, one after the other",
     .Settings = WithSequencer,
     .Steps = {{.Input = Kbd, .SysEx = DumpStart},
               {.Input = Seq, .SysEx = {0xF0, 0x43, 0x05, 0xF7}},
               {.Input = Seq, .Short = NoteOn(0, 64)},
               {.Input = Kbd, .SysEx = {0x02, 0xF7}}},
     .ToA = {Hex(DumpStart), "02 F7", "F0 43 05 F7", Hex(NoteOn(0, 64))},
     .ToB = {Hex(DumpStart), "02 F7", "F0 43 05 F7"}},
    {.Name = "a dump that stalls is cut short for the one waiting",
     .Settings = WithSequencer,
     .Steps = {{.Input = Kbd, .SysEx = DumpStart},
               {.Input = Seq, .SysEx = {0xF0, 0x43, 0x05, 0xF7}, .Wait = TMidiOutput::StalledSysExMilliseconds + 100.0}},
     .ToA = {Hex(DumpStart), "F7", "F0 43 05 F7"},
     .ToB = {Hex(DumpStart), "F7", "F0 43 05 F7"}},
    {.Name = "a Program Change from the second input selects the preset",
     .Settings = WithSequencer + "[PresetSwitch]\nChannel=15\n[Presets]\nPresetsCount=1\nPresetName1=Live\n"
                                 "[Preset_Live]\nDevice0=Synth B (1.10)\n",
     .Steps = {{.Input = Seq, .Short = Program(15, 1)}, {.Input = Kbd, .Short = NoteOn(0, 60)}},
     .ToB = {Hex(NoteOn(0, 60))}},
    {.Name = "an absent input keeps its name and opens when it arrives",
     .Settings = Routing + "[MidiInputs]\nCount=1\nDevice0=Pads (1.0)\n",
     .Steps = {{.Inputs = std::vector{Keyboard, Sequencer, Pads}}, {.Input = Pad, .Short = NoteOn(0, 36)}},
     .ToA = {Hex(NoteOn(0, 36))},
     .FileHolds = {{"Count", "1"}, {"Device0", "Pads (1.0)"}},
     .Inputs = {Keyboard, Sequencer}},
    {.Name = "an input that leaves releases its keys and is waited for",
     .Settings = WithSequencer,
     .Steps = {{.Input = Seq, .Short = NoteOn(0, 60)}, {.Inputs = std::vector{Keyboard}}},
     .ToA = {Hex(NoteOn(0, 60)), Hex(NoteOff(0, 60))},
     .FileHolds = {{"Count", "1"}, {"Device0", "Sequencer (2.3)"}}},
    {.Name = "the device chosen as the main input leaves the extras",
     .Settings = WithSequencer,
     .Steps = {{.MainInput = Seq}, {.Input = Seq, .Short = NoteOn(0, 60)}},
     .ToA = {Hex(NoteOn(0, 60))},
     .FileHolds = {{"Count", "0"}}},
    {.Name = "a file without the section means the main input alone, and stays without it",
     .Settings = Routing,
     .Steps = {{.Input = Seq, .Short = NoteOn(0, 60)}, {.Input = Kbd, .Short = NoteOn(0, 61)}},
     .ToA = {Hex(NoteOn(0, 61))},
     .FileHolds = {{"Count", "<absent>"}}},
};

class MergedInputs : public EngineFixture, public ::testing::WithParamInterface<TMergeRow> {
 protected:
  void StartWith(const std::vector<sim::DeviceConfig>& Inputs, const std::string& Settings) {
    sim::SetInputDevices(Inputs);
    sim::SetOutputDevices({SynthA, SynthB});
    InitializeIniDefs();
    ASSERT_TRUE(platform::ReplaceFileText(IniFileName, Settings));
    FinalizeIniDefs();
    BootAndStart();
    sim::ClearReceived();
  }
};

TEST_P(MergedInputs, RouteEveryInputAsOne) {
  const TMergeRow& row = GetParam();
  StartWith(row.Inputs, row.Settings);
  for (const TStep& step : row.Steps) {
    if (step.Check) engine->SetInputChecked(step.Check->first, step.Check->second);
    if (step.MainInput) engine->SetMidiInDevice(*step.MainInput);
    if (step.Map) engine->SetChannelDevice(static_cast<std::uint8_t>(step.Map->first), step.Map->second);
    if (step.Inputs) {
      sim::ChangeInputDevices(*step.Inputs);
      engine->DeviceChangeNotice();
      sim::RunFor(TVelmoraEngine::DeviceChangeSettleMilliseconds + 10);
    }
    sim::DeliverNotices();
    if (step.Input >= 0 && step.SysEx.empty()) sim::InjectShort(step.Input, step.Short);
    if (step.Input >= 0 && !step.SysEx.empty()) sim::InjectSysEx(step.Input, step.SysEx.data(), step.SysEx.size());
    sim::DeliverNotices();
    sim::RunFor(step.Wait);
    sim::DeliverNotices();
  }
  const auto received = [](int device) {
    std::vector<std::string> got;
    for (const sim::Received& r : sim::ReceivedBy(device)) got.push_back(r.Long ? Hex(r.Bytes) : Hex(r.Short));
    return got;
  };
  EXPECT_EQ(received(0), row.ToA) << "Synth A";
  EXPECT_EQ(received(1), row.ToB) << "Synth B";
  Shutdown();
  const TIniFile file(settingsPath);
  for (const TStored& stored : row.FileHolds)
    EXPECT_EQ(file.ReadString("MidiInputs", stored.Key, "<absent>"), stored.Value) << stored.Key;
}

// Panic sends a Note Off for every key any input holds, where it sounds.
TEST_F(MergedInputs, PanicEndsTheKeysOfEveryInput) {
  StartWith({Keyboard, Sequencer}, WithSequencer);
  sim::InjectShort(Kbd, NoteOn(0, 60));
  sim::InjectShort(Seq, NoteOn(1, 62));
  sim::DeliverNotices();
  engine->Panic();
  const auto noteOffs = [](int device) {
    std::vector<DWORD> offs;
    for (const sim::Received& r : sim::ReceivedBy(device))
      if (!r.Long && midi::KindOf(r.Short) == midi::NoteOffKind) offs.push_back(r.Short);
    return offs;
  };
  EXPECT_EQ(noteOffs(0), std::vector<DWORD>{NoteOff(0, 60)});
  EXPECT_EQ(noteOffs(1), std::vector<DWORD>{NoteOff(1, 62)});
}

INSTANTIATE_TEST_SUITE_P(Rows, MergedInputs, ::testing::ValuesIn(Rows),
                         [](const auto& info) { return "Row" + std::to_string(info.index); });

}  // namespace
