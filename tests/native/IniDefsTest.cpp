// Where the settings file lives: the folder the system reports and the
// program file's own name.
#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"
#include "platform/sim/SimDriver.h"
#include "settings/IniDefs.h"

namespace {

const std::string D(1, platform::PathDelimiter);

class IniDefsTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override {
    FinalizeIniDefs();
    sim::Reset();
  }
};

TEST_F(IniDefsTest, TheFileIsNamedAfterTheProgramInTheLocalApplicationDataFolder) {
  const struct {
    std::string Name;
    std::string Folder;       // as the system reports it
    std::string ProgramFile;  // full path of the program file
    std::string ExpectedFolder, ExpectedFile;
  } cases[] = {
      {"the usual case", D + "home" + D + "AppData", D + "opt" + D + "Velmora.exe",
       D + "home" + D + "AppData" + D, D + "home" + D + "AppData" + D + "Velmora.ini"},
      {"a renamed program file renames its settings file", D + "data", D + "opt" + D + "Router2.exe",
       D + "data" + D, D + "data" + D + "Router2.ini"},
      {"only the last extension goes", D + "data", D + "opt" + D + "My.Router.exe", D + "data" + D,
       D + "data" + D + "My.Router.ini"},
      {"either slash separates the folder", D + "data", "C:\\Program Files\\x/y\\Velmora.EXE",
       D + "data" + D, D + "data" + D + "Velmora.ini"},
      {"a dot in the folder is no extension", D + "data", D + "opt.d" + D + "Velmora", D + "data" + D,
       D + "data" + D + "Velmora.ini"},
      {"a bare program name", D + "data", "Velmora.exe", D + "data" + D, D + "data" + D + "Velmora.ini"},
      {"the folder is cut at the first NUL", std::string("/data\0/junk", 11).replace(0, 1, D),
       D + "opt" + D + "Velmora.exe", D + "data" + D, D + "data" + D + "Velmora.ini"},
      {"the root folder keeps one delimiter", D, D + "Velmora.exe", D, D + "Velmora.ini"},
      // No folder at all: the path is formed from the empty name as it is.
      {"no folder reported", "", D + "opt" + D + "Velmora.exe", D, D + "Velmora.ini"},
  };
  for (const auto& c : cases) {
    sim::Reset();
    sim::SetLocalAppDataFolder(c.Folder);
    sim::SetProgramFilePath(c.ProgramFile);
    InitializeIniDefs();
    EXPECT_EQ(IniFolder, c.ExpectedFolder) << c.Name;
    EXPECT_EQ(IniFileName, c.ExpectedFile) << c.Name;
    EXPECT_TRUE(GetLocalAppDataFolder().empty() || GetLocalAppDataFolder().back() != D[0]) << c.Name;
    FinalizeIniDefs();
  }
}

TEST_F(IniDefsTest, TheFolderIsReportedWithoutTrailingDelimiter) {
  sim::SetLocalAppDataFolder(D + "home" + D + "u" + D + "AppData" + D + "Local");
  EXPECT_EQ(GetLocalAppDataFolder(), D + "home" + D + "u" + D + "AppData" + D + "Local");
}

TEST_F(IniDefsTest, TheDefaultMachineKeepsTheFileInItsFreshFolder) {
  InitializeIniDefs();
  EXPECT_EQ(IniFileName, sim::LocalAppDataFolder() + D + "Velmora.ini");
}

TEST_F(IniDefsTest, TheFinaliserClearsBothPaths) {
  InitializeIniDefs();
  ASSERT_FALSE(IniFileName.empty());
  FinalizeIniDefs();
  EXPECT_EQ(IniFolder, "");
  EXPECT_EQ(IniFileName, "");
}

}  // namespace
