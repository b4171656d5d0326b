// The settings file as readers and writers see it: how values are found and
// parsed, what a write changes on disk (and what it leaves byte for byte),
// and what a failed write leaves behind.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/sim/SimDriver.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"

namespace {

std::string ReadRaw(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool FileExists(const std::string& path) { return std::ifstream(path, std::ios::binary).is_open(); }

void WriteRaw(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
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
  std::string file = "[Values]\r\n";
  for (std::size_t i = 0; i < std::size(cases); ++i)
    file += "K" + std::to_string(i) + "=" + cases[i].Text + "\r\n";
  WriteRaw(path, file);

  const TIniFile ini(path);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(ini.ReadInteger("Values", "K" + std::to_string(i), D), cases[i].Expected)
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
  EXPECT_FALSE(ini.SectionExists("Velmora"));
  EXPECT_EQ(ini.KeyCount("Velmora"), 0u);
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
    EXPECT_TRUE(ini.SectionExists(section)) << section;
  }

  // A write in other letters replaces the value in place; the file keeps its own spelling.
  TIniFile writer(path);
  writer.WriteInteger("VELMORAENGINE", "timerINTERVAL", 9);
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
  EXPECT_EQ(ini.KeyCount("Bare"), 1u);
}

TEST_F(IniFileTest, AKeyWithoutEqualsSignIsIgnoredAndKeptWhenTheKeyIsWritten) {
  WriteRaw(path, "[Velmora]\r\nLeft\r\nTop=3\r\n");
  TIniFile(path).WriteInteger("Velmora", "Left", 5);
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
    EXPECT_EQ(ini.KeyCount("Velmora"), 2u);
  }
  {
    TIniFile ini(path);
    ini.WriteInteger("Velmora", "Left", 10);
    ini.WriteInteger("Velmora", "Top", 20);
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
    TIniFile(path).WriteString(c.Section, c.Key, c.Value);
    EXPECT_EQ(ReadRaw(path), c.Expected) << c.Name;
  }
}

TEST_F(IniFileTest, EveryWriteReachesTheDiskAtOnceAndCreatesTheFile) {
  TIniFile ini(path);
  ini.WriteString("Velmora", "Left", "1");
  EXPECT_EQ(ReadRaw(path), "[Velmora]\r\nLeft=1\r\n");
  ini.WriteString("Velmora", "Top", "2");
  EXPECT_EQ(ReadRaw(path), "[Velmora]\r\nLeft=1\r\nTop=2\r\n");
  ini.WriteString("Font", "Name", "MS UI Gothic");
  EXPECT_EQ(ReadRaw(path), "[Velmora]\r\nLeft=1\r\nTop=2\r\n[Font]\r\nName=MS UI Gothic\r\n");
  EXPECT_EQ(sim::Calls(sim::Call::ReplaceFile).size(), 3u);
  // The writing object reads its own writes, as a fresh one reads the file.
  EXPECT_EQ(ini.ReadString("font", "name", ""), "MS UI Gothic");
  EXPECT_EQ(TIniFile(path).ReadString("Velmora", "Top", ""), "2");
}

TEST_F(IniFileTest, ValuesAndNamesCannotAddLinesToTheFile) {
  TIniFile ini(path);
  ini.WriteString("Presets", "PresetName1", "Live\r\n[Velmora]\r\nLeft=999");
  ini.WriteString("Preset_a\nb", "Device0", "x");
  const TIniFile reread(path);
  EXPECT_FALSE(reread.SectionExists("Velmora"));
  EXPECT_EQ(reread.KeyCount("Presets"), 1u);
  EXPECT_EQ(reread.ReadString("Presets", "PresetName1", ""), "Live  [Velmora]  Left=999");
  // The same name finds the same section before and after the round trip.
  EXPECT_EQ(reread.ReadString("Preset_a\nb", "Device0", ""), "x");
  EXPECT_EQ(ReadRaw(path),
            "[Presets]\r\nPresetName1=Live  [Velmora]  Left=999\r\n[Preset_a b]\r\nDevice0=x\r\n");
}

TEST_F(IniFileTest, ASectionNameHoldingABracketReadsBackAsWritten) {
  TIniFile(path).WriteString("Preset_x]y", "Device0", "Synth A (1.5)");
  TIniFile(path).WriteString("Preset_x]y", "Device1", "Synth B (1.10)");
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
  TIniFile(path).WriteString("Presets", "PresetName3", "Rehearsal");
  EXPECT_EQ(ReadRaw(path),
            "\xEF\xBB\xBF[Presets]\nPresetsCount=2\r\nPresetName1=Live\nPresetName2=Stage\r\n"
            "PresetName3=Rehearsal\r\n");
}

TEST_F(IniFileTest, KeyCountCountsTheKeysOfTheFirstSectionOfThatName) {
  WriteRaw(path,
           "[Presets]\r\nPresetsCount=2000000000\r\nPresetName1=A\r\n; comment\r\nno key\r\n"
           "[Empty]\r\n"
           "[presets]\r\nPresetName2=B\r\n");
  const TIniFile ini(path);
  EXPECT_EQ(ini.KeyCount("Presets"), 2u);
  EXPECT_EQ(ini.KeyCount("Empty"), 0u);
  EXPECT_TRUE(ini.SectionExists("Empty"));
  EXPECT_EQ(ini.KeyCount("Absent"), 0u);
}

// --- failed writes -------------------------------------------------------------

TEST_F(IniFileTest, AFailedWriteRaisesTheFileNameAndLeavesFileAndObjectAsTheyWere) {
  const std::string original = "[Velmora]\r\nLeft=10\r\nTop=20\n\r\n[Other]\r\nx=1";
  const struct {
    std::string Name;
    std::string Section, Key;
  } cases[] = {
      {"replacing a value", "Velmora", "Left"},
      {"adding a key", "Velmora", "Width"},
      {"adding a key after the last line", "Other", "y"},
      {"adding a section", "Font", "Name"},
  };
  for (const auto& c : cases) {
    WriteRaw(path, original);
    TIniFile ini(path);
    const std::string before = ini.ReadString(c.Section, c.Key, "absent");
    const std::size_t keysBefore = ini.KeyCount(c.Section);
    const bool sectionBefore = ini.SectionExists(c.Section);

    sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR);
    try {
      ini.WriteString(c.Section, c.Key, "new");
      ADD_FAILURE() << c.Name << ": no error raised";
    } catch (const EIniFileException& error) {
      EXPECT_EQ(error.FileName, path) << c.Name;
      EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << c.Name;
    }
    EXPECT_EQ(ReadRaw(path), original) << c.Name;
    EXPECT_EQ(ini.ReadString(c.Section, c.Key, "absent"), before) << c.Name;
    EXPECT_EQ(ini.KeyCount(c.Section), keysBefore) << c.Name;
    EXPECT_EQ(ini.SectionExists(c.Section), sectionBefore) << c.Name;

    // The next write of the same object writes that key alone: nothing of the
    // failed one comes along.
    ini.WriteString("Velmora", "Top", "21");
    std::string expected = original;
    expected.replace(expected.find("Top=20"), 6, "Top=21");
    EXPECT_EQ(ReadRaw(path), expected) << c.Name;
  }
}

TEST_F(IniFileTest, AFailedFirstWriteCreatesNoFile) {
  TIniFile ini(path);
  sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR);
  EXPECT_THROW(ini.WriteInteger("Presets", "PresetsCount", 0), EIniFileException);
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(ini.SectionExists("Presets"));
  ini.WriteInteger("Presets", "PresetsCount", 1);
  EXPECT_EQ(ReadRaw(path), "[Presets]\r\nPresetsCount=1\r\n");
}

TEST_F(IniFileTest, AWriteIntoAMissingFolderFailsWithTheFileName) {
  const char d = platform::PathDelimiter;
  const std::string missing =
      sim::LocalAppDataFolder() + d + "no" + d + "such" + d + "folder" + d + "Velmora.ini";
  TIniFile ini(missing);
  try {
    ini.WriteString("Velmora", "Left", "1");
    ADD_FAILURE() << "no error raised";
  } catch (const EIniFileException& error) {
    EXPECT_EQ(error.FileName, missing);
  }
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
