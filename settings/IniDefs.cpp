#include "settings/IniDefs.h"

#include <memory>

#include "platform/Platform.h"
#include "settings/SettingsStore.h"

std::string IniFolder;
std::string IniFileName;

namespace {

bool IsDelimiter(char Character) {
#if defined(_WIN32)
  return Character == '\\' || Character == '/';
#else
  return Character == platform::PathDelimiter;
#endif
}

std::string CutAtNul(std::string Text) {
  const std::size_t nul = Text.find('\0');
  if (nul != std::string::npos) Text.resize(nul);
  return Text;
}

// The program file's name without folder and without its last extension.
std::string ProgramName() {
  std::string name = CutAtNul(platform::ProgramFilePath());
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

// The program's settings, for IniFileName. Main thread only.
std::unique_ptr<TSettingsStore> ProgramSettings;

}  // namespace

TSettingsStore& SettingsStore() {
  // A unit used on its own (in a test) finds one too.
  if (!ProgramSettings || ProgramSettings->FileName() != IniFileName)
    ProgramSettings = std::make_unique<TSettingsStore>(IniFileName);
  return *ProgramSettings;
}

std::string GetLocalAppDataFolder() {
  std::string folder = CutAtNul(platform::LocalAppDataFolder());
  while (!folder.empty() && IsDelimiter(folder.back())) folder.pop_back();
  return folder;
}

void InitializeIniDefs() {
  // When the system reports no folder, the path is formed from the empty
  // name as it is: the file then lies in the root folder, where writes
  // normally fail and are reported, rather than in whatever folder the
  // program happens to be started from.
  IniFolder = GetLocalAppDataFolder() + platform::PathDelimiter;
  IniFileName = IniFolder + ProgramName() + ".ini";
  ProgramSettings = std::make_unique<TSettingsStore>(IniFileName);
}

void FinalizeIniDefs() {
  // What is still being written reaches the file first.
  ProgramSettings.reset();
  IniFolder.clear();
  IniFileName.clear();
}
