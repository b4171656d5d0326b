// Settings files edited by hand, damaged or absurd, through the whole
// start-up: the program starts and routes, every value outside what the
// engine accepts is clamped or ignored as decided, and the next exit writes a
// clean file that a later start reads back to the same values.
#include <chrono>
#include <random>

#include "settings/IniFile.h"
#include "settings/WriteFailures.h"
#include "tests/native/EngineFixture.h"
#include "tests/native/ReliabilityReport.h"

namespace {

using Steady = std::chrono::steady_clock;

// What the engine holds, as the user would check it in the windows.
struct TEngineValues {
  std::string Input;
  std::vector<std::int32_t> Delays;
  std::int32_t Interval = 0;
  std::vector<std::string> Presets;
  std::int32_t PresetIndex = 0;
  std::vector<std::int32_t> Map;
  bool operator==(const TEngineValues&) const = default;
};

std::ostream& operator<<(std::ostream& Os, const TEngineValues& V) {
  Os << "input '" << V.Input << "' interval " << V.Interval << " preset " << V.PresetIndex << " of "
     << V.Presets.size() << " delays";
  for (auto d : V.Delays) Os << " " << d;
  Os << " map";
  for (auto d : V.Map) Os << " " << d;
  return Os;
}

bool CleanName(const std::string& Name) {
  if (Name.empty() || Name.front() == ' ' || Name.back() == ' ') return false;
  for (const char c : Name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ']' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

struct THandCase;
struct THandCounts;

class SettingsHandCases : public EngineFixture {
 protected:
  void Run(const THandCase& C, THandCounts& Counts);
  void TearDown() override {
    sim::ClearFailures();
    EngineFixture::TearDown();
  }
  void WriteSettings(const std::string& Text) {
    InitializeIniDefs();
    settingsPath = IniFileName;
    ASSERT_TRUE(platform::ReplaceFileText(IniFileName, Text));
    FinalizeIniDefs();
  }
  TEngineValues Values() {
    TEngineValues v;
    // An absent input is waited for under its stored name, which the file keeps.
    v.Input = engine->WaitingInput().empty() ? MidiInDeviceNames[engine->MidiInDevice()] : engine->WaitingInput();
    for (std::int32_t d = 0; d < engine->MidiOutCount(); ++d) v.Delays.push_back(engine->Delays(d));
    v.Interval = engine->TimerInterval();
    v.Presets = engine->Presets().Items();
    v.PresetIndex = engine->Presets().ItemIndex();
    for (std::uint8_t c = 0; c < 16; ++c) v.Map.push_back(engine->ChannelDevices(c));
    return v;
  }
  // The values as the file states them, read key by key as a user would,
  // with the catalogue of the session that wrote it.
  TEngineValues FromFile(const TDeviceNames& Outputs) {
    const TIniFile ini = WrittenSettings();
    TEngineValues v;
    v.Input = ini.ReadString("VelmoraEngine", "MidiInDeviceName", "<absent>");
    const std::int32_t devices = ini.ReadInteger("MidiOutDelays", "MidiOutNumDevs", -1);
    for (std::int32_t d = 0; d < devices; ++d) {
      EXPECT_EQ(ini.ReadString("MidiOutDelays", "Device" + std::to_string(d), ""), Outputs[d]);
      v.Delays.push_back(ini.ReadInteger("MidiOutDelays", "Delay" + std::to_string(d), -1));
    }
    v.Interval = ini.ReadInteger("VelmoraEngine", "TimerInterval", -999);
    v.Presets = {"default"};
    const std::int32_t count = ini.ReadInteger("Presets", "PresetsCount", -1);
    for (std::int32_t n = 1; n <= count; ++n)
      v.Presets.push_back(ini.ReadString("Presets", "PresetName" + std::to_string(n), ""));
    v.PresetIndex = ini.ReadInteger("VelmoraEngine", "PresetIndex", -1);
    const std::string section = "Preset_" + v.Presets.at(static_cast<std::size_t>(std::max(v.PresetIndex, 0)));
    for (int c = 0; c < 16; ++c)
      v.Map.push_back(Outputs.IndexOf(ini.ReadString(section, "Device" + std::to_string(c), "")));
    return v;
  }
  void ExpectCleanValues(const TEngineValues& V) {
    for (const auto d : V.Delays) EXPECT_TRUE(d >= 0 && d <= TVelmoraEngine::MaxDelay) << d;
    for (const std::string& name : V.Presets) EXPECT_TRUE(CleanName(name)) << "'" << name.substr(0, 80) << "'";
    EXPECT_TRUE(V.PresetIndex >= 0 && V.PresetIndex < static_cast<std::int32_t>(V.Presets.size()));
    for (const auto d : V.Map) EXPECT_TRUE(d >= 0 && d < 3) << d;
  }
};

struct THandCase {
  std::string Name;
  std::string File;
  // Expected after the start; unset fields are not checked.
  std::int32_t Interval = -1000;
  std::vector<std::int32_t> Delays;
  std::vector<std::string> Presets;
  std::int32_t PresetIndex = -1;
  std::int32_t Input = -1;
  std::int32_t Channel0 = -1;
};

THandCase Case(std::string Name, std::string File, std::int32_t Interval = -1000,
               std::vector<std::int32_t> Delays = {}) {
  THandCase c;
  c.Name = std::move(Name);
  c.File = std::move(File);
  c.Interval = Interval;
  c.Delays = std::move(Delays);
  return c;
}

std::vector<THandCase> HandCases() {
  std::vector<THandCase> cases;
  {
    std::mt19937 random(5);
    std::string binary(64 * 1024, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    cases.push_back(Case("a binary file", binary));
    cases.back().Presets = {"default"};
    std::string binaryWithSections = binary;
    binaryWithSections.insert(1000, "\n[VelmoraEngine]\nTimerInterval=9\n");
    cases.push_back(Case("binary bytes around a section", binaryWithSections, 9));
  }
  cases.push_back(Case("keys without \"=\"",
                   "[VelmoraEngine]\r\nTimerInterval\r\nTimerInterval 12\r\nTimerInterval=7\r\nPresetIndex\r\n", 7));
  cases.push_back(Case("duplicate sections and keys: the first is read",
                   "[VelmoraEngine]\r\nTimerInterval=5\r\nTimerInterval=50\r\n[velmoraengine]\r\nTimerInterval=60\r\n"
                   "PresetIndex=1\r\n[Presets]\r\nPresetsCount=1\r\nPresetName1=A\r\n[PRESETS]\r\nPresetsCount=5\r\n",
                   5));
  cases.back().Presets = {"default", "A"};
  cases.back().PresetIndex = 0;
  cases.push_back(Case("names with \"]\", \"=\", outer blanks and control characters",
                   "[Presets]\r\nPresetsCount=7\r\nPresetName1= a]b \r\nPresetName2=x=y\r\nPresetName3=\t Live \t\r\n"
                   "PresetName4=]]]\r\nPresetName5=AB\r\nPresetName6=tab\there\r\nPresetName7=default \r\n"
                   "[MidiOutDelays]\r\nMidiOutNumDevs=1\r\nDevice0=   Synth B (1.10)   \r\nDelay0= 15 \r\n",
                   4, {0, 15, 0}));
  cases.back().Presets = {"default", "ab", "x=y", "Live", "tabhere"};
  cases.push_back(Case("non-ASCII bytes",
                   "[Presets]\r\nPresetsCount=2\r\nPresetName1=\xC3\xA9t\xC3\xA9\r\nPresetName2=\xE9t\xE9\r\n"
                   "[VelmoraEngine]\r\nMidiInDeviceName=S\xE9quenceur (2.3)\r\nPresetIndex=2\r\n"
                   "[Preset_\xE9t\xE9]\r\nDevice0=Synth C (0.0)\r\n",
                   4));
  cases.back().Presets = {"default", "\xC3\xA9t\xC3\xA9", "\xE9t\xE9"};
  cases.back().PresetIndex = 2;
  cases.back().Input = 0;
  cases.back().Channel0 = 2;
  cases.push_back(Case("integers out of range and malformed",
                   "[VelmoraEngine]\r\nTimerInterval=2147483648\r\nPresetIndex=$FFFFFFFF\r\n"
                   "[MidiOutDelays]\r\nMidiOutNumDevs=0x7FFFFFFF\r\nDevice0=Synth A (1.5)\r\nDelay0=-1\r\n"
                   "Device1=Synth B (1.10)\r\nDelay1=0x7FFFFFFF\r\nDevice2=Synth C (0.0)\r\nDelay2=12abc\r\n"
                   "[Presets]\r\nPresetsCount=-1\r\nPresetName1=Never\r\n",
                   4, {0, TVelmoraEngine::MaxDelay, 0}));
  cases.back().Presets = {"default"};
  cases.back().PresetIndex = 0;
  cases.push_back(Case("\"$FFFFFFFF\", \"0x7FFFFFFF\" and \"12abc\" as interval and delays",
                   "[VelmoraEngine]\r\nTimerInterval=12abc\r\n[MidiOutDelays]\r\nMidiOutNumDevs=2\r\n"
                   "Device0=Synth A (1.5)\r\nDelay0=$FFFFFFFF\r\nDevice1=Synth B (1.10)\r\nDelay1=60000\r\n",
                   4, {0, TVelmoraEngine::MaxDelay, 0}));
  cases.push_back(Case("a \"PresetsCount\" of 2 000 000 000",
                   "[Presets]\r\nPresetsCount=2000000000\r\nPresetName1=A\r\nPresetName2=B\r\nPresetName3=C\r\n"
                   "[VelmoraEngine]\r\nPresetIndex=2000000000\r\n",
                   4));
  cases.back().Presets = {"default", "A", "B", "C"};
  cases.back().PresetIndex = 3;
  return cases;
}

// One line of 10 MB: a device name that the exit replaces.
THandCase TenMegabyteLine() {
  const std::string huge(10 * 1024 * 1024, 'x');
  THandCase c = Case("a 10 MB line",
                     "[VelmoraEngine]\r\nMidiInDeviceName=" + huge + "\r\nTimerInterval=6\r\n"
                     "[Presets]\r\nPresetsCount=1\r\nPresetName1=Live\r\n",
                     6);
  c.Presets = {"default", "Live"};
  c.Input = 0;
  return c;
}

THandCase OneHundredThousandSections() {
  std::string file = "[Presets]\r\nPresetsCount=3\r\nPresetName1=P1\r\nPresetName2=P50000\r\nPresetName3=P99999\r\n"
                     "[VelmoraEngine]\r\nPresetIndex=2\r\n";
  for (int i = 0; i < 100000; ++i)
    file += "[Preset_P" + std::to_string(i) + "]\r\nDevice0=Synth " + std::string(1, char('A' + i % 3)) +
            (i % 3 == 1 ? " (1.10)" : (i % 3 == 0 ? " (1.5)" : " (0.0)")) + "\r\n";
  THandCase c = Case("100 000 sections", file, 4);
  c.Presets = {"default", "P1", "P50000", "P99999"};
  c.PresetIndex = 2;
  c.Channel0 = 50000 % 3;
  return c;
}

struct THandCounts {
  std::size_t Starts = 0, CleanSaves = 0, StableRestarts = 0, Routed = 0;
};

void SettingsHandCases::Run(const THandCase& C, THandCounts& Counts) {
  {
    SCOPED_TRACE(C.Name);
    SetUp();
    TakeWriteFailures();
    WriteSettings(C.File);
    BootAndStart();
    ++Counts.Starts;
    const TEngineValues started = Values();
    if (C.Interval != -1000) {
      EXPECT_EQ(started.Interval, C.Interval);
    }
    if (!C.Delays.empty()) {
      EXPECT_EQ(started.Delays, C.Delays);
    }
    if (!C.Presets.empty()) {
      EXPECT_EQ(started.Presets, C.Presets);
    }
    if (C.PresetIndex >= 0) {
      EXPECT_EQ(started.PresetIndex, C.PresetIndex);
    }
    if (C.Input >= 0) {
      EXPECT_EQ(engine->MidiInDevice(), C.Input);
    }
    if (C.Channel0 >= 0) {
      EXPECT_EQ(started.Map[0], C.Channel0);
    }
    ExpectCleanValues(started);
    EXPECT_EQ(engine->MidiIn().State(), mpsOpen);

    // It routes.
    const std::int32_t device = engine->ChannelDevices(0);
    const std::size_t before = ShortsTo(device).size();
    Play(0x00407F90);
    sim::RunFor(started.Delays[static_cast<std::size_t>(device)] + 2.0 * std::max(started.Interval, 1) + 8.0);
    EXPECT_EQ(ShortsTo(device).size(), before + 1);
    Counts.Routed += ShortsTo(device).size() - before;

    const TDeviceNames outputs = MidiOutDeviceNames;
    Shutdown();
    EXPECT_TRUE(TakeWriteFailures().empty());
    const TEngineValues stored = FromFile(outputs);
    EXPECT_EQ(stored, started) << "the file states what the engine held";
    Counts.CleanSaves += stored == started ? 1 : 0;

    BootAndStart();
    const TEngineValues again = Values();
    EXPECT_EQ(again, started) << "a later start reads the same values back";
    Counts.StableRestarts += again == started ? 1 : 0;
    Shutdown();
  }
}

void PrintCounts(const char* Case, const char* What, std::size_t Inputs, const THandCounts& Counts) {
  TReliabilityFigures(Case, What)
      .Add("inputs", Inputs)
      .Add("starts", Counts.Starts)
      .Add("started_and_routed", Counts.Routed)
      .Add("clean_saves", Counts.CleanSaves)
      .Add("stable_restarts", Counts.StableRestarts)
      .Print();
}

TEST_F(SettingsHandCases, DamagedFilesStartTheProgramAndTheNextExitWritesACleanFile) {
  THandCounts counts;
  const auto cases = HandCases();
  for (const THandCase& c : cases) Run(c, counts);
  PrintCounts("settings-hand-cases", "hand-made settings files: binary, keys without \"=\", duplicates, names with \"]\", \"=\" and blanks, non-ASCII bytes, integers out of range, a \"PresetsCount\" of 2 000 000 000",
              cases.size(), counts);
}

TEST_F(SettingsHandCases, ATenMegabyteLineStartsTheProgramAndTheNextExitWritesACleanFile) {
  THandCounts counts;
  Run(TenMegabyteLine(), counts);
  PrintCounts("settings-10mb-line", "a settings file with a line of 10 MB", 1, counts);
}

TEST_F(SettingsHandCases, OneHundredThousandSectionsStartTheProgramAndTheNextExitWritesACleanFile) {
  THandCounts counts;
  Run(OneHundredThousandSections(), counts);
  PrintCounts("settings-100000-sections", "a settings file of 100 000 sections", 1, counts);
}

// Product names that begin or end with blanks (or are empty: the display
// name then begins with a blank) come back from the file without them; the
// devices are found again all the same, and saving again changes nothing.
TEST_F(SettingsHandCases, DevicesWhoseNamesHaveOuterBlanksAreFoundAgainAndTheFileStaysTheSame) {
  sim::SetInputDevices({{.Name = "Keyboard", .DriverVersion = 0x0100}, {.Name = " Pads ", .DriverVersion = 0x0101}});
  sim::SetOutputDevices({{.Name = "Synth A", .DriverVersion = 0x0105},
                         {.Name = "", .DriverVersion = 0x0106},
                         {.Name = "  Synth C", .DriverVersion = 0x0107}});
  BootAndStart();
  engine->SetMidiInDevice(1);
  engine->SetDelay(1, 120);
  engine->SetDelay(2, 7);
  engine->SetChannelDevice(3, 1);
  engine->SetChannelDevice(4, 2);
  const TEngineValues first = Values();
  Shutdown();
  const std::string written = SettingsText();
  for (int restart = 0; restart < 3; ++restart) {
    BootAndStart();
    EXPECT_EQ(Values(), first) << "restart " << restart;
    Shutdown();
    EXPECT_EQ(SettingsText(), written) << "the file does not grow from save to save";
  }
}

// The settings work of a start and of an exit with a file of 100 000
// sections, printed for the report (speed belongs to benchmarks, not to
// assertions). Each figure is the least of three rounds, so that other work
// on a shared machine weighs less; a sanitizer's build, whose times tell
// nothing, takes one.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int Rounds = 1;
#else
constexpr int Rounds = 3;
#endif

TEST_F(SettingsHandCases, SettingsWorkOfAFileOfOneHundredThousandSectionsIsMeasured) {
  std::string file = "[Presets]\r\nPresetsCount=2\r\nPresetName1=Live\r\nPresetName2=Stage\r\n";
  for (int i = 0; i < 100000; ++i) file += "[Preset_" + std::to_string(i) + "]\r\nDevice0=Synth B (1.10)\r\n";
  auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
  double parse = 1e9, creation = 1e9, start = 1e9, presetSwitch = 1e9, exit = 1e9;
  std::size_t reads = 0, writes = 0;
  for (int round = 0; round < Rounds; ++round) {
    WriteSettings(file);
    const auto t0 = Steady::now();
    { const TIniFile ini = WrittenSettings(); EXPECT_EQ(ini.ReadInteger("Presets", "PresetsCount", 0), 2); }
    const auto t1 = Steady::now();
    sim::ClearCalls();
    Boot();
    const auto t2 = Steady::now();
    engine->Start();
    const auto t3 = Steady::now();
    reads = sim::Calls(sim::Call::ReadFile).size();
    engine->Presets().SetItemIndex(1);
    const auto t4 = Steady::now();
    EXPECT_EQ(engine->Presets().CurrentName(), "Live");
    sim::ClearCalls();
    const auto t5 = Steady::now();
    Shutdown();
    const auto t6 = Steady::now();
    writes = sim::Calls(sim::Call::ReplaceFile).size();
    EXPECT_EQ(WrittenSettings().ReadString("Preset_99999", "Device0", ""), "Synth B (1.10)");
    parse = std::min(parse, ms(t0, t1));
    creation = std::min(creation, ms(t1, t2));
    start = std::min(start, ms(t2, t3));
    presetSwitch = std::min(presetSwitch, ms(t3, t4));
    exit = std::min(exit, ms(t5, t6));
  }
  TReliabilityFigures("settings-100000-sections-work", "settings work with a file of 100 000 sections (4 MB), least of three rounds, in milliseconds of the plain build; start-up reads the file three times (preset names at creation, then the engine's settings and the current preset's map)")
      .Add("file_bytes", file.size())
      .Add("one_read_ms", parse)
      .Add("engine_creation_ms", creation)
      .Add("start_ms", start)
      .Add("startup_settings_work_ms", creation + start)
      .Add("reads_at_startup", reads)
      .Add("preset_switch_ms", presetSwitch)
      .Add("exit_ms", exit)
      .Add("writes_at_exit", writes)
      .Print();
}

}  // namespace
