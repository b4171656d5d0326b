// The settings file as readers and writers see it: how values are found and
// parsed, what a save changes on disk (and what it leaves byte for byte),
// and what a failed save leaves behind.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/sim/SimDriver.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "tests/native/RawFile.h"

namespace {

bool FileExists(const std::string& Path) { return std::ifstream(Path, std::ios::binary).is_open(); }

// One writer that saves one key.
void SaveKey(const std::string& Path, const std::string& Section, const std::string& Key,
             const std::string& Value) {
  TIniFile ini(Path);
  ini.WriteString(Section, Key, Value);
  ini.UpdateFile();
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    InitializeIniDefs();  // IniFileName in a fresh temporary folder
    path = IniFileName;
  }
  void TearDown() override {
    sim::ClearFailures();
    FinalizeIniDefs();
  }
  std::string path;
};

// --- reading values ----------------------------------------------------------

TEST_F(IniFileTest, IntegersAreHexadecimalOrDecimalAndAnythingElseGivesTheDefault) {
  constexpr std::int32_t D = 77;  // the reader's default
  const struct {
    std::string Text;
    std::int32_t Expected;
  } cases[] = {
      {"4", 4},
      {"-16777208", -16777208},
      {"+5", 5},
      {"007", 7},
      {"0", 0},
      {"0x10", 16},
      {"0X1f", 31},
      {"0x0", 0},
      {"$FF", 255},
      {"$ff", 255},
      {"$0", 0},
      {"$7FFFFFFF", INT32_MAX},
      {"$FFFFFFFF", -1},          // the 32-bit pattern
      {"$FF000008", -16777208},   // a system colour reads back as it is written
      {"0x80000000", INT32_MIN},
      {"0x000000010", 16},        // leading zeros are not significant
      {"$100000000", D},          // nine significant digits do not fit
      {"2147483647", INT32_MAX},
      {"2147483648", D},
      {"-2147483648", INT32_MIN},
      {"-2147483649", D},
      {"99999999999999999999", D},
      {"12abc", D},
      {"0x", D},                  // too short for hexadecimal, not decimal either
      {"$", D},
      {"0x1G", D},
      {"-0x10", D},
      {"-$10", D},
      {"x10", D},
      {"1e3", D},
      {"4 2", D},
      {"-", D},
      {"+", D},
      {"", D},
      {"  42\t ", 42},            // blanks around the value are not part of it
  };
  // The key of case i. Appended rather than "K" + std::to_string(i): that
  // form makes g++ 12 warn (-Wrestrict) of an overlap that cannot happen.
  const auto key = [](std::size_t i) { return std::string("K").append(std::to_string(i)); };
  std::string file = "[Values]\r\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) file += key(i) + "=" + cases[i].Text + "\r\n";
  WriteRaw(path, file);

  const TIniFile ini(path);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(ini.ReadInteger("Values", key(i), D), cases[i].Expected)
        << "value \"" << cases[i].Text << "\"";
  }
  EXPECT_EQ(ini.ReadInteger("Values", "Missing", D), D);
  EXPECT_EQ(ini.ReadInteger("NoSuchSection", "K0", D), D);
}

TEST_F(IniFileTest, AMissingFileReadsAsEmpty) {
  const TIniFile ini(path);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(ini.ReadString("Velmora", "Left", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("Velmora", "Left", -3), -3);
}

TEST_F(IniFileTest, IntegersAreWrittenAsSignedDecimal) {
  const struct {
    std::int32_t Value;
    std::string Text;
  } cases[] = {{0, "0"}, {4, "4"}, {-1, "-1"}, {-16777208, "-16777208"},
               {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"}};
  for (const auto& c : cases) {
    {
      TIniFile ini(path);
      ini.WriteInteger("Font", "Color", c.Value);
      ini.UpdateFile();
    }
    EXPECT_EQ(ReadRaw(path), "[Font]\r\nColor=" + c.Text + "\r\n");
    EXPECT_EQ(TIniFile(path).ReadInteger("Font", "Color", 5), c.Value);
  }
}

TEST_F(IniFileTest, StringValuesAreTheTrimmedTextAfterTheEqualsSign) {
  const std::string longValue(3000, 'x');
  WriteRaw(path,
           "[S]\r\n"
           "Plain=Synth A (1.5)\r\n"
           "Spaced =   inner  blanks stay \t\r\n"
           "Empty=\r\n"
           "Equals=a=b;c\r\n"
           "Long=" + longValue + "\r\n"
           "Quoted=\"kept\"\r\n");
  const TIniFile ini(path);
  const struct {
    std::string Key;
    std::string Expected;
  } cases[] = {
      {"Plain", "Synth A (1.5)"},
      {"Spaced", "inner  blanks stay"},
      {"Empty", ""},  // a present empty value is not the default
      {"Equals", "a=b;c"},
      {"Long", std::string(TIniFile::MaxValueLength, 'x')},
      {"Quoted", "\"kept\""},
      {"Absent", "dflt"},
  };
  for (const auto& c : cases) EXPECT_EQ(ini.ReadString("S", c.Key, "dflt"), c.Expected) << c.Key;
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToLetterCase) {
  WriteRaw(path, "[VelmoraEngine]\r\nTimerInterval=8\r\n");
  const TIniFile ini(path);
  for (const char* section : {"VelmoraEngine", "velmoraengine", "VELMORAENGINE", " VelmoraEngine "}) {
    for (const char* key : {"TimerInterval", "timerinterval", "TIMERINTERVAL"}) {
      EXPECT_EQ(ini.ReadInteger(section, key, 4), 8) << section << "/" << key;
    }
  }

  // A write in other letters replaces the value in place; the file keeps its own spelling.
  SaveKey(path, "VELMORAENGINE", "timerINTERVAL", "9");
  EXPECT_EQ(ReadRaw(path), "[VelmoraEngine]\r\nTimerInterval=9\r\n");
}

TEST_F(IniFileTest, SectionHeadersAndLinesThatAreNoKeys) {
  WriteRaw(path,
           "Stray=before any section\r\n"
           "[ Padded ]\r\nA=1\r\n"
           "[Preset_a]b]\r\nA=2\r\n"
           "[Velmora] ; the main window\r\nA=3\r\n"
           "[Unclosed\r\nA=4\r\n"
           "[Bare]\r\nLeft\r\n;Top=9\r\n  ; Width=9\r\nHeight = 5\r\n");
  const TIniFile ini(path);
  const struct {
    std::string Section, Key, Expected;
  } cases[] = {
      {"", "Stray", "dflt"},  // lines before the first section are never read
      {"Padded", "A", "1"},
      {"Preset_a]b", "A", "2"},  // the name runs to the last "]"
      {"Velmora", "A", "3"},
      {"Unclosed", "A", "4"},
      {"Bare", "Left", "dflt"},  // no "=": not a key
      {"Bare", "Top", "dflt"},   // comments
      {"Bare", ";Top", "dflt"},
      {"Bare", "Width", "dflt"},
      {"Bare", "Height", "5"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ini.ReadString(c.Section, c.Key, "dflt"), c.Expected) << c.Section << "/" << c.Key;
}

TEST_F(IniFileTest, AKeyWithoutEqualsSignIsIgnoredAndKeptWhenTheKeyIsWritten) {
  WriteRaw(path, "[Velmora]\r\nLeft\r\nTop=3\r\n");
  SaveKey(path, "Velmora", "Left", "5");
  EXPECT_EQ(ReadRaw(path), "[Velmora]\r\nLeft\r\nTop=3\r\nLeft=5\r\n");
  EXPECT_EQ(TIniFile(path).ReadInteger("Velmora", "Left", 0), 5);
}

TEST_F(IniFileTest, OfDuplicateSectionsAndKeysTheFirstIsReadAndWritten) {
  const std::string original =
      "[Velmora]\r\nLeft=1\r\nLeft=2\r\n"
      "[VELMORA]\r\nLeft=3\r\nTop=4\r\n";
  WriteRaw(path, original);
  {
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("Velmora", "Left", 0), 1);
    EXPECT_EQ(ini.ReadInteger("Velmora", "Top", 0), 0);  // the second section is not read
  }
  {
    TIniFile ini(path);
    ini.WriteInteger("Velmora", "Left", 10);
    ini.WriteInteger("Velmora", "Top", 20);
    ini.UpdateFile();
  }
  EXPECT_EQ(ReadRaw(path),
            "[Velmora]\r\nLeft=10\r\nLeft=2\r\nTop=20\r\n"
            "[VELMORA]\r\nLeft=3\r\nTop=4\r\n");
}

// --- what a write changes on disk ----------------------------------------------

TEST_F(IniFileTest, AWriteChangesOneLineAndKeepsEveryOtherByteOfTheFile) {
  // Comments, unknown keys and sections, odd spacing, LF-only lines, bytes
  // outside ASCII, and a last line without a line end.
  const std::string head =
      "; Velmora settings, edited by hand\r\n"
      "[Velmora]\r\n"
      "  Left = 10  \r\n"
      "Top=20\n"
      "Unknown=\xE9t\xE9 ; not ours\r\n"
      "\r\n"
      "\t\r\n"
      "[Other]\n"
      "x=1";
  const struct {
    std::string Name;
    std::string Section, Key, Value;
    std::string Expected;
  } cases[] = {
      {"an existing key keeps its spelling, its blanks and its line end",
       "velmora", "LEFT", "11",
       "; Velmora settings, edited by hand\r\n[Velmora]\r\n  Left = 11\r\nTop=20\nUnknown=\xE9t\xE9 ; not "
       "ours\r\n\r\n\t\r\n[Other]\nx=1"},
      {"an LF-only line stays LF-only", "Velmora", "Top", "21",
       "; Velmora settings, edited by hand\r\n[Velmora]\r\n  Left = 10  \r\nTop=21\nUnknown=\xE9t\xE9 ; "
       "not ours\r\n\r\n\t\r\n[Other]\nx=1"},
      {"a new key goes before the blank lines that close its section", "Velmora", "Width", "300",
       "; Velmora settings, edited by hand\r\n[Velmora]\r\n  Left = 10  \r\nTop=20\nUnknown=\xE9t\xE9 ; "
       "not ours\r\nWidth=300\r\n\r\n\t\r\n[Other]\nx=1"},
      {"a new key after the last line gives that line a line end", "Other", "y", "2",
       "; Velmora settings, edited by hand\r\n[Velmora]\r\n  Left = 10  \r\nTop=20\nUnknown=\xE9t\xE9 ; "
       "not ours\r\n\r\n\t\r\n[Other]\nx=1\r\ny=2\r\n"},
      {"a new section goes at the end of the file", "Presets", "PresetsCount", "0",
       "; Velmora settings, edited by hand\r\n[Velmora]\r\n  Left = 10  \r\nTop=20\nUnknown=\xE9t\xE9 ; "
       "not ours\r\n\r\n\t\r\n[Other]\nx=1\r\n[Presets]\r\nPresetsCount=0\r\n"},
  };
  for (const auto& c : cases) {
    WriteRaw(path, head);
    SaveKey(path, c.Section, c.Key, c.Value);
    EXPECT_EQ(ReadRaw(path), c.Expected) << c.Name;
  }
}

TEST_F(IniFileTest, WritesReachTheDiskTogetherInOneReplacementAtUpdateFile) {
  {
    TIniFile ini(path);
    ini.WriteString("Velmora", "Left", "1");
    ini.WriteString("Velmora", "Top", "2");
    ini.WriteString("Font", "Name", "MS UI Gothic");
    // The writing object reads its own writes before they reach the disk.
    EXPECT_EQ(ini.ReadString("font", "name", ""), "MS UI Gothic");
    EXPECT_FALSE(FileExists(path));
    ini.UpdateFile();
    EXPECT_EQ(ReadRaw(path), "[Velmora]\r\nLeft=1\r\nTop=2\r\n[Font]\r\nName=MS UI Gothic\r\n");
    ini.UpdateFile();  // nothing new: no replacement
  }
  EXPECT_EQ(sim::Calls(sim::Call::ReplaceFile).size(), 1u);
  {
    TIniFile ini(path);  // a writer that ends without UpdateFile leaves the file alone
    ini.WriteString("Velmora", "Left", "99");
  }
  EXPECT_EQ(sim::Calls(sim::Call::ReplaceFile).size(), 1u);
  EXPECT_EQ(TIniFile(path).ReadString("Velmora", "Left", ""), "1");
}

TEST_F(IniFileTest, ValuesAndNamesCannotAddLinesToTheFile) {
  TIniFile ini(path);
  ini.WriteString("Presets", "PresetName1", "Live\r\n[Velmora]\r\nLeft=999");
  ini.WriteString("Preset_a\nb", "Device0", "x");
  ini.UpdateFile();
  const TIniFile reread(path);
  EXPECT_EQ(reread.ReadString("Velmora", "Left", "absent"), "absent");
  EXPECT_EQ(reread.ReadString("Presets", "PresetName1", ""), "Live  [Velmora]  Left=999");
  // The same name finds the same section before and after the round trip.
  EXPECT_EQ(reread.ReadString("Preset_a\nb", "Device0", ""), "x");
  EXPECT_EQ(ReadRaw(path),
            "[Presets]\r\nPresetName1=Live  [Velmora]  Left=999\r\n[Preset_a b]\r\nDevice0=x\r\n");
}

TEST_F(IniFileTest, ASectionNameHoldingABracketReadsBackAsWritten) {
  SaveKey(path, "Preset_x]y", "Device0", "Synth A (1.5)");
  SaveKey(path, "Preset_x]y", "Device1", "Synth B (1.10)");
  EXPECT_EQ(ReadRaw(path), "[Preset_x]y]\r\nDevice0=Synth A (1.5)\r\nDevice1=Synth B (1.10)\r\n");
  EXPECT_EQ(TIniFile(path).ReadString("preset_X]Y", "Device1", ""), "Synth B (1.10)");
}

TEST_F(IniFileTest, LinesEndingInLfOrCrLfAreReadAlikeAndAByteOrderMarkIsSkipped) {
  WriteRaw(path, "\xEF\xBB\xBF[Presets]\nPresetsCount=2\r\nPresetName1=Live\nPresetName2=Stage\r\n");
  {
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("Presets", "PresetsCount", 0), 2);
    EXPECT_EQ(ini.ReadString("Presets", "PresetName1", ""), "Live");
    EXPECT_EQ(ini.ReadString("Presets", "PresetName2", ""), "Stage");
  }
  SaveKey(path, "Presets", "PresetName3", "Rehearsal");
  EXPECT_EQ(ReadRaw(path),
            "\xEF\xBB\xBF[Presets]\nPresetsCount=2\r\nPresetName1=Live\nPresetName2=Stage\r\n"
            "PresetName3=Rehearsal\r\n");
}

TEST_F(IniFileTest, NumberedKeysAreThoseOfTheFirstSectionWithinTheBoundsInAscendingOrder) {
  WriteRaw(path,
           "[MidiOutDelays]\r\nMidiOutNumDevs=2000000000\r\nDevice5=E\r\ndevice1=A\r\nDevice03=C\r\n"
           "Device2x=X\r\nDevice-4=X\r\nDevice99999999999=X\r\nDevice=X\r\nDelay7=1\r\n; Device6=X\r\n"
           "Device1=duplicate\r\nDevice2147483647=Z\r\n"
           "[MIDIOUTDELAYS]\r\nDevice4=later section\r\n");
  const TIniFile ini(path);
  const struct {
    std::int32_t First, Last;
    std::vector<std::int32_t> Expected;
  } cases[] = {
      {0, INT32_MAX, {1, 5, INT32_MAX}},
      {0, 4, {1}},
      {2, 5, {5}},
      {5, 1, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ini.NumberedKeys("MidiOutDelays", "Device", c.First, c.Last), c.Expected)
        << c.First << ".." << c.Last;
  EXPECT_TRUE(ini.NumberedKeys("Absent", "Device", 0, 10).empty());
}

// --- failed writes -------------------------------------------------------------

TEST_F(IniFileTest, AFailedUpdateRaisesTheFileNameAndLeavesTheWholeFileAsItWas) {
  const std::string original = "[Velmora]\r\nLeft=10\r\nTop=20\n\r\n[Other]\r\nx=1";
  WriteRaw(path, original);
  TIniFile ini(path);
  ini.WriteString("Velmora", "Left", "11");  // a value replaced
  ini.WriteString("Velmora", "Width", "300");  // a key added
  ini.WriteString("Other", "y", "2");  // a key added after the last line
  ini.WriteString("Font", "Name", "Tahoma");  // a section added
  sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR);
  try {
    ini.UpdateFile();
    ADD_FAILURE() << "no error raised";
  } catch (const EIniFileException& error) {
    EXPECT_EQ(error.FileName, path);
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos);
  }
  EXPECT_EQ(ReadRaw(path), original) << "nothing of the save reached the file";

  // The writes stay with the object, and the next update writes them all.
  ini.UpdateFile();
  EXPECT_EQ(ReadRaw(path),
            "[Velmora]\r\nLeft=11\r\nTop=20\nWidth=300\r\n\r\n[Other]\r\nx=1\r\ny=2\r\n"
            "[Font]\r\nName=Tahoma\r\n");
}

TEST_F(IniFileTest, AFailedFirstWriteCreatesNoFile) {
  TIniFile ini(path);
  ini.WriteInteger("Presets", "PresetsCount", 0);
  sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR);
  EXPECT_THROW(ini.UpdateFile(), EIniFileException);
  EXPECT_FALSE(FileExists(path));
  ini.WriteInteger("Presets", "PresetsCount", 1);
  ini.UpdateFile();
  EXPECT_EQ(ReadRaw(path), "[Presets]\r\nPresetsCount=1\r\n");
}

TEST_F(IniFileTest, AWriteIntoAMissingFolderFailsWithTheFileName) {
  const char d = platform::PathDelimiter;
  const std::string missing =
      sim::LocalAppDataFolder() + d + "no" + d + "such" + d + "folder" + d + "Velmora.ini";
  TIniFile ini(missing);
  ini.WriteString("Velmora", "Left", "1");
  try {
    ini.UpdateFile();
    ADD_FAILURE() << "no error raised";
  } catch (const EIniFileException& error) {
    EXPECT_EQ(error.FileName, missing);
  }
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNotWrittenOverWhileAMissingOneMeansEmpty) {
  const std::string stored = "[Velmora]\r\nLeft=5\r\n[Font]\r\nName=Arial\r\n";
  WriteRaw(path, stored);
  sim::FailCall(sim::Call::ReadFile, MMSYSERR_ERROR, 1);  // another program holds the file
  TIniFile held(path);
  EXPECT_TRUE(held.ReadFailed());
  held.WriteString("Velmora", "Left", "1");
  try {
    held.UpdateFile();
    ADD_FAILURE() << "a file holding only this write would replace it";
  } catch (const EIniFileException& error) {
    EXPECT_EQ(error.Fault, EIniFileException::TFault::Read);
    EXPECT_EQ(std::string(error.what()), "Unable to read " + path);
  }
  EXPECT_EQ(ReadRaw(path), stored);
  std::remove(path.c_str());
  TIniFile missing(path);
  EXPECT_FALSE(missing.ReadFailed());
  missing.WriteString("Velmora", "Left", "1");
  missing.UpdateFile();
  EXPECT_EQ(ReadRaw(path), "[Velmora]\r\nLeft=1\r\n");
}

// --- large and damaged files ---------------------------------------------------

TEST_F(IniFileTest, AFileOfOneHundredThousandSectionsIsReadAndWritten) {
  std::string file;
  constexpr int sections = 100000;
  for (int i = 0; i < sections; ++i)
    file += "[Preset_" + std::to_string(i) + "]\r\nDevice0=" + std::to_string(i) + "\r\n";
  WriteRaw(path, file);
  TIniFile ini(path);
  for (int i = 0; i < sections; i += 997)
    EXPECT_EQ(ini.ReadInteger("PRESET_" + std::to_string(i), "device0", -1), i);
  EXPECT_EQ(ini.ReadInteger("Preset_99999", "Device0", -1), 99999);
  ini.WriteInteger("Preset_50000", "Device0", -5);
  ini.UpdateFile();
  std::string expected = file;
  const std::string old = "[Preset_50000]\r\nDevice0=50000\r\n";
  expected.replace(expected.find(old), old.size(), "[Preset_50000]\r\nDevice0=-5\r\n");
  EXPECT_TRUE(ReadRaw(path) == expected);  // not printed: megabytes
}

TEST_F(IniFileTest, TenMegabyteLinesAreReadWithinTheValueLimit) {
  const std::string huge(10 * 1024 * 1024, 'v');
  WriteRaw(path, "[Big]\r\nvalue=" + huge + "\r\nafter=1\r\n[" + huge + "]\r\nk=2\r\n[Next]\r\nk=3\r\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Big", "value", ""), std::string(TIniFile::MaxValueLength, 'v'));
  EXPECT_EQ(ini.ReadInteger("Big", "after", 0), 1);
  EXPECT_EQ(ini.ReadInteger(huge, "k", 0), 2);
  EXPECT_EQ(ini.ReadInteger("Next", "k", 0), 3);
}

}  // namespace
