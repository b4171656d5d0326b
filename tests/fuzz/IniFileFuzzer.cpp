// Fuzzes the settings-file reader and writer. The input is the file. Every
// section and key name that the file seems to hold, and the program's own
// names, are read as strings and integers; the integers are checked against
// a second, independent parser; then one key is written (once refused, once
// through) and a fresh reader must find the written value and every other
// value as it was.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "platform/Platform.h"
#include "platform/sim/SimDriver.h"
#include "settings/IniFile.h"

namespace {

// The rules of ReadInteger, written again from their description.
bool ReferenceInteger(const std::string& Text, std::int32_t& Value) {
  auto hexDigit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string digits;
  if (Text.size() >= 3 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    digits = Text.substr(2);
  } else if (!Text.empty() && Text[0] == '$') {
    digits = Text.substr(1);
  } else {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < Text.size() && (Text[pos] == '+' || Text[pos] == '-')) negative = Text[pos++] == '-';
    if (pos == Text.size()) return false;
    long long magnitude = 0;
    for (; pos < Text.size(); ++pos) {
      if (Text[pos] < '0' || Text[pos] > '9') return false;
      magnitude = magnitude * 10 + (Text[pos] - '0');
      if (magnitude > 2147483648LL) return false;
    }
    if (!negative && magnitude > 2147483647LL) return false;
    Value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
  }
  if (digits.empty()) return false;
  std::size_t first = 0;
  while (first < digits.size() && digits[first] == '0') ++first;
  for (const char c : digits)
    if (hexDigit(c) < 0) return false;
  if (digits.size() - first > 8) return false;
  std::uint32_t bits = 0;
  for (std::size_t i = first; i < digits.size(); ++i) bits = bits * 16 + static_cast<std::uint32_t>(hexDigit(digits[i]));
  Value = static_cast<std::int32_t>(bits);
  return true;
}

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\v' || C == '\f' || C == '\r'; }

std::string Trimmed(std::string Text) {
  std::size_t begin = 0, end = Text.size();
  while (begin < end && IsBlank(Text[begin])) ++begin;
  while (end > begin && IsBlank(Text[end - 1])) --end;
  return Text.substr(begin, end - begin);
}

std::string OnOneLine(std::string Text) {
  for (char& c : Text)
    if (c == '\r' || c == '\n') c = ' ';
  return Text;
}

// A name as the file matches it: one line, trimmed, ASCII letters folded.
std::string Key(const std::string& Name) {
  std::string key = Trimmed(OnOneLine(Name));
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

// Names that the text seems to hold: what stands between "[" and "]" and
// what stands before "=", on each line; a few of each.
void Guess(const std::string& Text, std::vector<std::string>& Sections, std::vector<std::string>& Keys) {
  std::size_t begin = 0;
  while (begin < Text.size() && (Sections.size() < 16 || Keys.size() < 16)) {
    std::size_t end = Text.find('\n', begin);
    if (end == std::string::npos) end = Text.size();
    const std::string line = Text.substr(begin, end - begin);
    const std::size_t open = line.find('[');
    const std::size_t close = line.rfind(']');
    if (open != std::string::npos && Sections.size() < 16)
      Sections.push_back(
          line.substr(open + 1, close != std::string::npos && close > open ? close - open - 1 : std::string::npos));
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos && Keys.size() < 16) Keys.push_back(line.substr(0, equals));
    begin = end + 1;
  }
}

const char* const ProgramSections[] = {"VelmoraEngine", "MidiOutDelays", "Presets", "Preset_default",
                                       "Font", "Velmora", "OptionDialog"};
const char* const ProgramKeys[] = {"MidiInDeviceName", "TimerInterval", "PresetIndex", "MidiOutNumDevs",
                                   "Device0", "Delay0", "PresetsCount", "PresetName1", "Charset",
                                   "Color", "Size", "Style", "Left", "Top"};

const std::string Absent = "\x01" "absent";

std::string Path() {
  static const std::string path = [] {
    sim::SetCallRecording(false);
    return sim::LocalAppDataFolder() + platform::PathDelimiter + "Fuzz.ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  const std::string path = Path();
  FUZZ_CHECK(platform::ReplaceFileText(path, text));

  std::vector<std::string> sections(std::begin(ProgramSections), std::end(ProgramSections));
  std::vector<std::string> keys(std::begin(ProgramKeys), std::end(ProgramKeys));
  Guess(text, sections, keys);

  // Every value read, with the names it was read by.
  struct TValue {
    std::string Section, Key, Text;
  };
  std::vector<TValue> values;
  {
    const TIniFile ini(path);
    for (const std::string& section : sections) {
      for (const std::int32_t n : ini.NumberedKeys(section, "Device", 0, 15))
        FUZZ_CHECK(ini.ReadString(section, "Device" + std::to_string(n), Absent) != Absent);
      for (const std::string& key : keys) {
        const std::string value = ini.ReadString(section, key, Absent);
        FUZZ_CHECK(value == Absent || value.size() <= TIniFile::MaxValueLength);
        std::int32_t expected = 0;
        const bool isInteger = value != Absent && ReferenceInteger(value, expected);
        FUZZ_CHECK(ini.ReadInteger(section, key, -77) == (isInteger ? expected : -77));
        values.push_back({section, key, value});
      }
    }
  }

  // One key written: a name and a value taken from the input.
  const std::string section = sections[Size % sections.size()];
  std::string key = keys[(Size / 7) % keys.size()];
  if (key.find('=') != std::string::npos || Key(key).empty() || Key(key)[0] == '[' || Key(key)[0] == ';')
    key = "Fuzzed";  // key names are the program's own: no "=", no "[" or ";" in front
  const std::string value = text.substr(Size / 3, 64);
  {
    TIniFile ini(path);
    ini.WriteString(section, key, value);
    sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR, 1);
    bool refused = false;
    try {
      ini.UpdateFile();
    } catch (const EIniFileException&) {
      refused = true;
    }
    FUZZ_CHECK(refused);
    std::string onDisk;
    FUZZ_CHECK(platform::ReadFileText(path, onDisk) && onDisk == text);
    ini.UpdateFile();  // the write is still pending after the refusal
  }
  const TIniFile reread(path);
  FUZZ_CHECK(reread.ReadString(section, key, Absent) == Trimmed(OnOneLine(value)).substr(0, TIniFile::MaxValueLength));
  for (const TValue& before : values) {
    if (Key(before.Section) == Key(section) && Key(before.Key) == Key(key)) continue;
    FUZZ_CHECK(reread.ReadString(before.Section, before.Key, Absent) == before.Text);
  }
  return 0;
}
