// The preset list as the engine and the dialogs use it: names added,
// normalised, renamed, moved and deleted, the order of its notices and what
// that order does to the stored maps, and the names it reads and writes.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Presets.h"
#include "platform/sim/SimDriver.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"
#include "settings/WriteFailures.h"
#include "tests/native/RawFile.h"

namespace {

using Names = std::vector<std::string>;

std::string Joined(const Names& Names) {
  std::string text;
  for (const std::string& name : Names) text += (text.empty() ? "" : ",") + name;
  return text;
}

// Stands in for the engine: the changing notice stores the live map under
// the name found at ItemIndex (nothing when it names no entry), the change
// notice loads the current preset's stored map. Every notice is logged.
struct MapKeeper {
  std::vector<std::string> Log;
  std::map<std::string, std::string> Stored;  // preset name -> its stored map
  std::string Live;

  void Hook(TPresets& Presets) {
    Presets.OnChange = [this](TPresets& p) {
      Log.push_back("list " + Joined(p.Items()) + " @" + std::to_string(p.ItemIndex()));
    };
    Presets.OnIndexChanging = [this](TPresets& p) {
      const std::int32_t i = p.ItemIndex();
      if (i < 0 || i >= p.Count()) {
        Log.push_back("save none");
        return;
      }
      Stored[p[i]] = Live;
      Log.push_back("save " + p[i]);
    };
    Presets.OnIndexChange = [this](TPresets& p) {
      const auto found = Stored.find(p.CurrentName());
      Live = found == Stored.end() ? "fresh" : found->second;
      Log.push_back("load " + p.CurrentName());
    };
  }
};

class PresetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    NewRun();  // IniFileName in a fresh temporary folder
    TakeWriteFailures();
  }
  void TearDown() override {
    sim::ClearFailures();
    FinalizeIniDefs();
  }

  // A run of the program reads the file once and keeps it in memory: a file
  // changed by hand, or the file a run left, is read by the next run.
  static void NewRun() {
    InitializeIniDefs();
    SettingsStore().AllowSaves();  // as after the engine's start
  }
  // A settings file whose "Presets" section stores these names.
  static void StoreNames(const Names& Names) {
    std::string text = "[Presets]\r\nPresetsCount=" + std::to_string(Names.size()) + "\r\n";
    for (std::size_t i = 0; i < Names.size(); ++i)
      text += "PresetName" + std::to_string(i + 1) + "=" + Names[i] + "\r\n";
    WriteRaw(IniFileName, text);
    NewRun();
  }
};

// --- construction and loading ---------------------------------------------------

TEST_F(PresetsTest, ANewListHoldsDefaultAndTheStoredNamesWithNoPresetCurrent) {
  StoreNames({"Live", "Stage"});
  TPresets presets;
  EXPECT_EQ(presets.Items(), (Names{"default", "Live", "Stage"}));
  EXPECT_EQ(presets.ItemIndex(), -1);
  EXPECT_EQ(presets.CurrentName(), "");
}

TEST_F(PresetsTest, LoadingSkipsEmptyDuplicateAndUncountedNamesAndSurvivesACorruptedCount) {
  const struct {
    std::string Name;
    std::string Section;  // the "Presets" section's lines
    Names Expected;
  } cases[] = {
      {"an empty name and DEFAULT in capitals",
       "PresetsCount=3\r\nPresetName1=Live\r\nPresetName2=\r\nPresetName3=DEFAULT\r\n",
       {"default", "Live"}},
      {"a name held in other letters", "PresetsCount=3\r\nPresetName1=Live\r\nPresetName2=LIVE\r\nPresetName3=x\r\n",
       {"default", "Live", "x"}},
      {"keys above the count are not read", "PresetsCount=1\r\nPresetName1=A\r\nPresetName2=B\r\n",
       {"default", "A"}},
      {"key order, not file order", "PresetName2=B\r\nPresetName1=A\r\nPresetsCount=2\r\n",
       {"default", "A", "B"}},
      {"a count of two billion costs only the keys there are",
       "PresetsCount=2000000000\r\nPresetName1=A\r\nPresetName2=B\r\n", {"default", "A", "B"}},
      {"a hexadecimal count", "PresetsCount=$7FFFFFFF\r\nPresetName1=A\r\n", {"default", "A"}},
      {"a negative count", "PresetsCount=-1\r\nPresetName1=A\r\n", {"default"}},
      {"a count that is no integer", "PresetsCount=two\r\nPresetName1=A\r\n", {"default"}},
      {"no count", "PresetName1=A\r\n", {"default"}},
      {"a bracket never reaches a section name",
       "PresetsCount=4\r\nPresetName1=a]b]\r\nPresetName2=]]\r\nPresetName3=AB\r\nPresetName4=c]\r\n",
       {"default", "ab", "c"}},
      {"names are normalised before the tests", "PresetsCount=2\r\nPresetName1=x]\r\nPresetName2=X\r\n",
       {"default", "x"}},
  };
  for (const auto& c : cases) {
    WriteRaw(IniFileName, "[Presets]\r\n" + c.Section);
    NewRun();
    TPresets presets;
    EXPECT_EQ(presets.Items(), c.Expected) << c.Name;
    EXPECT_EQ(presets.ItemIndex(), -1) << c.Name;
  }
}

TEST_F(PresetsTest, AListWithoutSettingsFileHoldsOnlyDefault) {
  TPresets presets;
  EXPECT_EQ(presets.Items(), (Names{"default"}));
}

// --- names ------------------------------------------------------------------------

TEST_F(PresetsTest, NormalisedNamesHoldNothingTheSettingsFileCannotKeep) {
  const struct {
    std::string Name, Expected;
  } cases[] = {
      {"a]b]", "ab"}, {"]]", ""},         {"Live", "Live"},       {"  Live ", "Live"},
      {"x ] y", "x  y"}, {"a\r\nb", "ab"}, {"Tab\tName", "TabName"}, {" ] ", ""},
      {"", ""},       {"\xC4nne", "\xC4nne"},
  };
  for (const auto& c : cases) EXPECT_EQ(TPresets::NormalizeName(c.Name), c.Expected) << c.Name;
}

TEST_F(PresetsTest, IndexOfIgnoresLetterCase) {
  StoreNames({"Live", "Stage"});
  TPresets presets;
  const struct {
    std::string Name;
    std::int32_t Expected;
  } cases[] = {{"default", 0}, {"DEFAULT", 0}, {"live", 1}, {"sTAGE", 2}, {"Stage ", -1}, {"Rehearsal", -1}, {"", -1}};
  for (const auto& c : cases) EXPECT_EQ(presets.IndexOf(c.Name), c.Expected) << c.Name;
}

TEST_F(PresetsTest, NamesWithUnusualCharactersSurviveTheSettingsFile) {
  const Names names = {"Bass & Drums", "a=b", ";not a comment", "[bracketed", "\xC4nne", "x  y"};
  {
    TPresets presets;
    for (const std::string& name : names) presets.AddPreset(name);
  }
  Names expected = {"default"};
  expected.insert(expected.end(), names.begin(), names.end());
  EXPECT_EQ(TPresets().Items(), expected);
}

// --- the operations, their notices and the stored maps ----------------------------

TEST_F(PresetsTest, OperationsFireTheirNoticesSoThatEveryStoredMapStaysWithItsPreset) {
  using Op = std::function<void(TPresets&)>;
  const struct {
    std::string Name;
    Names Stored;          // names in the settings file
    std::int32_t Current;  // ItemIndex before the operation
    Op Operation;
    Names Log;             // the notices, in order
    Names Items;
    std::int32_t Index;
    std::map<std::string, std::string> Maps;  // stored maps afterwards
    std::string Live;                         // the live map afterwards
  } cases[] = {
      {"selecting another preset", {"A", "B"}, 1, [](TPresets& p) { p.SetItemIndex(2); },
       {"save A", "load B"}, {"default", "A", "B"}, 2,
       {{"default", "m-default"}, {"A", "live"}, {"B", "m-B"}}, "m-B"},
      {"selecting the current preset again", {"A", "B"}, 1, [](TPresets& p) { p.SetItemIndex(1); },
       {"save A", "load A"}, {"default", "A", "B"}, 1,
       {{"default", "m-default"}, {"A", "live"}, {"B", "m-B"}}, "live"},
      {"an index below zero selects the first entry", {"A", "B"}, 2, [](TPresets& p) { p.SetItemIndex(-5); },
       {"save B", "load default"}, {"default", "A", "B"}, 0,
       {{"default", "m-default"}, {"A", "m-A"}, {"B", "live"}}, "m-default"},
      {"an index past the end selects the last entry", {"A", "B"}, 0, [](TPresets& p) { p.SetItemIndex(3 + 3); },
       {"save default", "load B"}, {"default", "A", "B"}, 2,
       {{"default", "live"}, {"A", "m-A"}, {"B", "m-B"}}, "m-B"},

      {"adding a new name", {"A", "B"}, 1, [](TPresets& p) { p.AddPreset("C"); },
       {"list default,A,B,C @1", "save A", "load C"}, {"default", "A", "B", "C"}, 3,
       {{"default", "m-default"}, {"A", "live"}, {"B", "m-B"}}, "fresh"},
      {"adding a name held in other letters selects it", {"A", "B"}, 1, [](TPresets& p) { p.AddPreset("b"); },
       {"save A", "load B"}, {"default", "A", "B"}, 2,
       {{"default", "m-default"}, {"A", "live"}, {"B", "m-B"}}, "m-B"},
      {"adding DEFAULT selects the first entry", {"A"}, 1, [](TPresets& p) { p.AddPreset("DEFAULT"); },
       {"save A", "load default"}, {"default", "A"}, 0, {{"default", "m-default"}, {"A", "live"}}, "m-default"},
      {"adding a]b] adds ab", {"A"}, 1, [](TPresets& p) { p.AddPreset("a]b]"); },
       {"list default,A,ab @1", "save A", "load ab"}, {"default", "A", "ab"}, 2,
       {{"default", "m-default"}, {"A", "live"}}, "fresh"},
      {"adding ]] does nothing", {"A"}, 1, [](TPresets& p) { p.AddPreset("]]"); },
       {}, {"default", "A"}, 1, {{"default", "m-default"}, {"A", "m-A"}}, "live"},
      {"adding before any preset is current", {"A"}, -1, [](TPresets& p) { p.AddPreset("C"); },
       {"list default,A,C @-1", "save none", "load C"}, {"default", "A", "C"}, 2,
       {{"default", "m-default"}, {"A", "m-A"}}, "fresh"},

      {"renaming the current preset", {"A", "B"}, 1, [](TPresets& p) { p.RenamePreset("X"); },
       {"list default,X,B @1", "save X", "load X"}, {"default", "X", "B"}, 1,
       {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}, {"X", "live"}}, "live"},
      {"renaming to a normalised name", {"A", "B"}, 1, [](TPresets& p) { p.RenamePreset("X]"); },
       {"list default,X,B @1", "save X", "load X"}, {"default", "X", "B"}, 1,
       {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}, {"X", "live"}}, "live"},
      {"renaming to the own name in other letters does nothing", {"Live"}, 1,
       [](TPresets& p) { p.RenamePreset("LIVE"); }, {}, {"default", "Live"}, 1,
       {{"default", "m-default"}, {"Live", "m-Live"}}, "live"},
      {"renaming to another preset's name does nothing", {"A", "B"}, 1, [](TPresets& p) { p.RenamePreset("b]"); },
       {}, {"default", "A", "B"}, 1, {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}}, "live"},
      {"renaming to a name that normalises to nothing does nothing", {"A"}, 1,
       [](TPresets& p) { p.RenamePreset("]"); }, {}, {"default", "A"}, 1,
       {{"default", "m-default"}, {"A", "m-A"}}, "live"},
      {"default cannot be renamed", {"A"}, 0, [](TPresets& p) { p.RenamePreset("X"); },
       {}, {"default", "A"}, 0, {{"default", "m-default"}, {"A", "m-A"}}, "live"},

      {"deleting the last entry makes the one before current", {"A", "B"}, 2, [](TPresets& p) { p.DeletePreset(); },
       {"save none", "list default,A @1", "load A"}, {"default", "A"}, 1,
       {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}}, "m-A"},
      {"deleting an inner entry makes the next one current", {"A", "B"}, 1, [](TPresets& p) { p.DeletePreset(); },
       {"save none", "list default,B @1", "load B"}, {"default", "B"}, 1,
       {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}}, "m-B"},
      {"default cannot be deleted", {"A"}, 0, [](TPresets& p) { p.DeletePreset(); },
       {}, {"default", "A"}, 0, {{"default", "m-default"}, {"A", "m-A"}}, "live"},
      {"nothing is deleted while no preset is current", {"A"}, -1, [](TPresets& p) { p.DeletePreset(); },
       {}, {"default", "A"}, -1, {{"default", "m-default"}, {"A", "m-A"}}, "live"},

      {"moving up", {"A", "B", "C"}, 3, [](TPresets& p) { p.MovePresetUp(); },
       {"save C", "list default,A,C,B @2", "load C"}, {"default", "A", "C", "B"}, 2,
       {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}, {"C", "live"}}, "live"},
      {"moving down", {"A", "B", "C"}, 1, [](TPresets& p) { p.MovePresetDown(); },
       {"save A", "list default,B,A,C @2", "load A"}, {"default", "B", "A", "C"}, 2,
       {{"default", "m-default"}, {"A", "live"}, {"B", "m-B"}, {"C", "m-C"}}, "live"},
      {"nothing moves in front of default", {"A", "B"}, 1, [](TPresets& p) { p.MovePresetUp(); },
       {}, {"default", "A", "B"}, 1, {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}}, "live"},
      {"the last entry does not move down", {"A", "B"}, 2, [](TPresets& p) { p.MovePresetDown(); },
       {}, {"default", "A", "B"}, 2, {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}}, "live"},
      {"default does not move", {"A"}, 0, [](TPresets& p) { p.MovePresetDown(); },
       {}, {"default", "A"}, 0, {{"default", "m-default"}, {"A", "m-A"}}, "live"},
      {"nothing moves while no preset is current", {"A", "B"}, -1, [](TPresets& p) { p.MovePresetDown(); },
       {}, {"default", "A", "B"}, -1, {{"default", "m-default"}, {"A", "m-A"}, {"B", "m-B"}}, "live"},
  };

  for (const auto& c : cases) {
    StoreNames(c.Stored);
    TPresets presets;
    MapKeeper keeper;
    if (c.Current >= 0) presets.SetItemIndex(c.Current);
    keeper.Hook(presets);
    for (const std::string& name : presets.Items()) keeper.Stored[name] = "m-" + name;
    keeper.Live = "live";

    c.Operation(presets);

    EXPECT_EQ(keeper.Log, c.Log) << c.Name;
    EXPECT_EQ(presets.Items(), c.Items) << c.Name;
    EXPECT_EQ(presets.ItemIndex(), c.Index) << c.Name;
    EXPECT_EQ(keeper.Stored, c.Maps) << c.Name;
    EXPECT_EQ(keeper.Live, c.Live) << c.Name;
  }
}

TEST_F(PresetsTest, MovingDownAndBackUpLeavesEveryMapAsItWas) {
  StoreNames({"A", "B", "C"});
  TPresets presets;
  presets.SetItemIndex(2);
  MapKeeper keeper;
  keeper.Hook(presets);
  for (const std::string& name : presets.Items()) keeper.Stored[name] = "m-" + name;
  keeper.Stored["B"] = keeper.Live = "live";  // the live map of B as last stored

  presets.MovePresetDown();
  presets.MovePresetUp();

  EXPECT_EQ(presets.Items(), (Names{"default", "A", "B", "C"}));
  EXPECT_EQ(presets.CurrentName(), "B");
  EXPECT_EQ(keeper.Live, "live");
  EXPECT_EQ(keeper.Stored, (std::map<std::string, std::string>{
                               {"default", "m-default"}, {"A", "m-A"}, {"B", "live"}, {"C", "m-C"}}));
}

// --- storing the names -------------------------------------------------------------

TEST_F(PresetsTest, AListHoldingOnlyDefaultStoresACountOfZeroAndNoNames) {
  { TPresets presets; }
  EXPECT_EQ(ReadRaw(IniFileName), "[Presets]\r\nPresetsCount=0\r\n");
}

TEST_F(PresetsTest, TheDestructorStoresTheNamesInListOrder) {
  {
    TPresets presets;
    presets.AddPreset("Live");
    presets.AddPreset("Stage");
    presets.MovePresetUp();
  }
  EXPECT_EQ(ReadRaw(IniFileName), "[Presets]\r\nPresetsCount=2\r\nPresetName1=Stage\r\nPresetName2=Live\r\n");
  NewRun();
  EXPECT_EQ(TPresets().Items(), (Names{"default", "Stage", "Live"}));
}

TEST_F(PresetsTest, ShrinkingTheListLeavesTheNamesAboveTheCountInTheFileUnread) {
  StoreNames({"A", "B", "C", "D"});
  {
    TPresets presets;
    presets.SetItemIndex(4);
    presets.DeletePreset();
    presets.DeletePreset();
    presets.DeletePreset();
    ASSERT_EQ(presets.Items(), (Names{"default", "A"}));
  }
  const TIniFile ini(IniFileName);
  EXPECT_EQ(ini.ReadInteger("Presets", "PresetsCount", -1), 1);
  EXPECT_EQ(ini.ReadString("Presets", "PresetName1", ""), "A");
  EXPECT_EQ(ini.ReadString("Presets", "PresetName2", ""), "B");
  EXPECT_EQ(ini.ReadString("Presets", "PresetName3", ""), "C");
  EXPECT_EQ(ini.ReadString("Presets", "PresetName4", ""), "D");
  NewRun();
  EXPECT_EQ(TPresets().Items(), (Names{"default", "A"}));
}

TEST_F(PresetsTest, AFailedSaveIsRaisedBySaveToIniAndRecordedByTheDestructor) {
  StoreNames({"A"});
  const std::string before = ReadRaw(IniFileName);
  {
    TPresets presets;
    presets.AddPreset("B");
    sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR, -1);
    EXPECT_THROW(presets.SaveToIni(), EIniFileException);
    EXPECT_TRUE(TakeWriteFailures().empty());  // a caller that can raise is not recorded
  }  // the destructor's save fails too, and must not raise
  EXPECT_EQ(TakeWriteFailures(), (Names{IniFileName}));
  EXPECT_EQ(ReadRaw(IniFileName), before);
  sim::ClearFailures();
  NewRun();
  EXPECT_EQ(TPresets().Items(), (Names{"default", "A"}));
}

}  // namespace
