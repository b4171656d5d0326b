// Fuzzes the whole start-up path with a settings file and a set of devices
// taken from the input: settings path, device catalogue over simulated
// devices, engine, Start, a few routed messages, a preset added and renamed
// with names from the input, then the exit. The file the exit wrote must be
// clean (delays within what the engine accepts, preset names that a section
// name can hold, counts and indices that match), and a second start on it
// must come back to exactly the values the first session ended with, and
// write the same file again.
//
// Input: one byte of configuration (bits 0-1: input devices 0-3, bits 2-3:
// output devices 0-3, bit 4: device names from the input, bit 5: one output
// whose capabilities cannot be read); with bit 4, one length byte and that
// many name bytes per device; then two preset names of a length byte each;
// the rest is the settings file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "engine/Engine.h"
#include "midi/MidiIO.h"
#include "platform/Platform.h"
#include "platform/sim/SimDriver.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "settings/WriteFailures.h"

namespace {

class TInput {
 public:
  TInput(const std::uint8_t* Data, std::size_t Size) : FData(Data), FSize(Size) {}
  std::uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  std::string Bytes(std::size_t N) {
    N = std::min(N, FSize - FPos);
    std::string bytes(reinterpret_cast<const char*>(FData + FPos), N);
    FPos += N;
    return bytes;
  }
  std::string Rest() { return Bytes(FSize - FPos); }

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPos = 0;
};

struct TValues {
  std::int32_t Input = -1;
  std::vector<std::int32_t> Delays;
  std::int32_t Interval = 0;
  std::vector<std::string> Presets;
  std::int32_t PresetIndex = 0;
  std::vector<std::int32_t> Map;
  bool operator==(const TValues&) const = default;
};

TValues Values(TVelmoraEngine& Engine) {
  TValues v;
  v.Input = Engine.MidiInDevice();
  for (std::int32_t d = 0; d < Engine.MidiOutCount(); ++d) v.Delays.push_back(Engine.Delays(d));
  v.Interval = Engine.TimerInterval();
  v.Presets = Engine.Presets().Items();
  v.PresetIndex = Engine.Presets().ItemIndex();
  for (std::uint8_t c = 0; c < 16; ++c) v.Map.push_back(Engine.ChannelDevices(c));
  return v;
}

// A name as the file gives it back: on one line, without outer blanks.
std::string ReadBack(std::string Name) {
  for (char& c : Name)
    if (c == '\r' || c == '\n') c = ' ';
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; };
  std::size_t begin = 0, end = Name.size();
  while (begin < end && blank(Name[begin])) ++begin;
  while (end > begin && blank(Name[end - 1])) --end;
  return Name.substr(begin, end - begin);
}

// The values a next start gives for those a session ended with, by the
// rules of storing devices by name: a device is found again by its name as
// the file gives it back, the first of equal names wins, a device without a
// name (its capabilities could not be read) is found by none, and an unfound
// channel or input falls back to device 0.
std::int32_t FoundAgain(const TDeviceNames& Names, std::int32_t Device) {
  if (Device < 0 || Device >= Names.Count()) return Device;
  const std::string stored = ReadBack(Names[Device]);
  if (stored.empty()) return 0;
  for (std::int32_t i = 0; i < Names.Count(); ++i)
    if (SameText(ReadBack(Names[i]), stored)) return i;
  return 0;
}

TValues AsStored(const TValues& V, const TDeviceNames& Inputs, const TDeviceNames& Outputs) {
  TValues stored = V;
  if (Inputs.Count() > 0) stored.Input = FoundAgain(Inputs, V.Input);
  for (std::int32_t& device : stored.Map) device = FoundAgain(Outputs, device);
  std::vector<std::int32_t> delays(V.Delays.size(), 0);
  for (std::int32_t n = 0; n < Outputs.Count(); ++n) {  // the pairs in file order; the later wins
    if (ReadBack(Outputs[n]).empty()) continue;
    delays[static_cast<std::size_t>(FoundAgain(Outputs, n))] = V.Delays[static_cast<std::size_t>(n)];
  }
  stored.Delays = delays;
  return stored;
}

std::string Printable(const std::string& Text) {
  std::string shown;
  for (const char c : Text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n' || (byte >= 0x20 && byte < 0x7F)) {
      shown += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    }
  }
  return shown;
}

bool CleanPresetName(const std::string& Name) {
  if (Name.empty() || Name.front() == ' ' || Name.back() == ' ') return false;
  for (const char c : Name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ']' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

// One session from start to exit, as the program runs it.
TValues Session(const std::string& AddName, const std::string& RenameTo, bool Edit) {
  InitializeIniDefs();
  BuildDeviceCatalogue();
  InitializeEngine();
  TVelmoraEngine& engine = *GlobalEngine;
  engine.Start();
  sim::DeliverNotices();
  if (MidiInDeviceCount > 0 && engine.MidiIn().State() == mpsOpen) {
    sim::InjectShort(engine.MidiIn().DeviceIndex(), 0x00407F90);
    sim::InjectShort(engine.MidiIn().DeviceIndex(), 0xF8);
    const std::uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    sim::InjectSysEx(engine.MidiIn().DeviceIndex(), sysex, sizeof sysex);
    sim::DeliverNotices();
  }
  sim::RunFor(12);
  sim::DeliverNotices();
  if (Edit) {
    engine.Presets().AddPreset(AddName);
    engine.Presets().RenamePreset(RenameTo);
    if (MidiOutDeviceCount > 1) engine.SetChannelDevice(5, 1);
  }
  const TValues values = Values(engine);
  FinalizeEngine();
  return values;
}

void CheckCleanFile(const std::string& Path, const TValues& V, const TDeviceNames& Outputs) {
  const TIniFile ini(Path);
  FUZZ_CHECK(ini.ReadInteger("VelmoraEngine", "TimerInterval", -999) == V.Interval);
  FUZZ_CHECK(ini.ReadInteger("VelmoraEngine", "PresetIndex", -999) == V.PresetIndex);
  // The devices present, in catalogue order; after them the absent ones the
  // file named with a delay, kept for their return.
  const std::int32_t pairs = ini.ReadInteger("MidiOutDelays", "MidiOutNumDevs", -1);
  FUZZ_CHECK(pairs >= Outputs.Count());
  for (std::int32_t d = 0; d < pairs; ++d) {
    const std::int32_t delay = ini.ReadInteger("MidiOutDelays", "Delay" + std::to_string(d), -1);
    FUZZ_CHECK(delay >= 0 && delay <= TVelmoraEngine::MaxDelay);
    if (d < Outputs.Count()) {
      FUZZ_CHECK(delay == V.Delays[static_cast<std::size_t>(d)]);
    } else {
      const std::string absent = ini.ReadString("MidiOutDelays", "Device" + std::to_string(d), "");
      FUZZ_CHECK(delay > 0 && !absent.empty());
      for (std::int32_t present = 0; present < Outputs.Count(); ++present)
        FUZZ_CHECK(!SameText(ReadBack(Outputs[present]), absent));
    }
  }
  const std::int32_t count = ini.ReadInteger("Presets", "PresetsCount", -1);
  FUZZ_CHECK(count == static_cast<std::int32_t>(V.Presets.size()) - 1);
  for (std::int32_t n = 1; n <= count; ++n) {
    const std::string name = ini.ReadString("Presets", "PresetName" + std::to_string(n), "");
    FUZZ_CHECK(CleanPresetName(name) && name == V.Presets[static_cast<std::size_t>(n)]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TInput input(Data, Size);
  const std::uint8_t config = input.Byte();
  const int inputs = config & 3;
  const int outputs = (config >> 2) & 3;
  const bool namedByInput = (config & 0x10) != 0;
  std::vector<sim::DeviceConfig> in, out;
  const char* const inNames[] = {"Keyboard", "Sequencer", "Pads"};
  const char* const outNames[] = {"Synth A", "Synth B", "Synth C"};
  for (int i = 0; i < inputs; ++i)
    in.push_back({.Name = namedByInput ? input.Bytes(input.Byte() % 32) : inNames[i],
                  .DriverVersion = UINT(0x0100 + i)});
  for (int i = 0; i < outputs; ++i)
    out.push_back({.Name = namedByInput ? input.Bytes(input.Byte() % 32) : outNames[i],
                   .DriverVersion = UINT(0x0105 + i)});
  if ((config & 0x20) != 0 && !out.empty()) out.back().CapsFail = true;
  const std::string addName = input.Bytes(input.Byte() % 48);
  const std::string renameTo = input.Bytes(input.Byte() % 48);
  const std::string file = input.Rest();

  sim::Reset();
  sim::SetCallRecording(false);
  sim::SetInputDevices(in);
  sim::SetOutputDevices(out);
  TakeWriteFailures();
  InitializeIniDefs();
  const std::string path = IniFileName;
  FUZZ_CHECK(platform::ReplaceFileText(path, file));
  FinalizeIniDefs();

  const TValues first = Session(addName, renameTo, true);
  const TDeviceNames inputNames = MidiInDeviceNames;
  const TDeviceNames outputNames = MidiOutDeviceNames;
  FreeDeviceCatalogue();
  FinalizeIniDefs();
  FUZZ_CHECK(TakeWriteFailures().empty());
  for (const std::int32_t d : first.Delays) FUZZ_CHECK(d >= 0 && d <= TVelmoraEngine::MaxDelay);
  for (const std::string& name : first.Presets) FUZZ_CHECK(CleanPresetName(name));
  FUZZ_CHECK(first.PresetIndex >= 0 && first.PresetIndex < static_cast<std::int32_t>(first.Presets.size()));
  CheckCleanFile(path, first, outputNames);
  std::string written;
  FUZZ_CHECK(platform::ReadFileText(path, written));

  // A second start reads the same values back and writes the same file.
  const TValues second = Session("", "", false);
  FreeDeviceCatalogue();
  FinalizeIniDefs();
  const TValues expected = AsStored(first, inputNames, outputNames);
  FUZZ_CHECK(second == expected);
  std::string rewritten;
  FUZZ_CHECK(platform::ReadFileText(path, rewritten));
  if (expected == first && rewritten != written) {
    std::fprintf(stderr, "first exit wrote:\n%s\nsecond exit wrote:\n%s\n", Printable(written).c_str(),
                 Printable(rewritten).c_str());
    FUZZ_CHECK(rewritten == written);
  }
  return 0;
}
