// Files and folders of the simulated machine: the settings file lives on the
// real file system, in a fresh temporary folder per Reset unless a test
// chooses another.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/sim/SimCallLog.h"
#include "platform/sim/SimClock.h"

namespace sim {

class Files {
 public:
  Files(CallLog& calls, const Clock& clock) : calls_(calls), clock_(clock) {}
  ~Files();
  Files(const Files&) = delete;
  Files& operator=(const Files&) = delete;

  bool ReadText(const std::string& path, std::string& text);
  bool ReplaceText(const std::string& path, const std::string& text);

  std::string LocalAppDataFolder();
  std::string ProgramFilePath();
  void SetLocalAppDataFolder(std::string folder);
  void SetProgramFilePath(std::string path);
  void SetStepHook(FileStepHook hook);

  // Removes the temporary folder of the last run and forgets every choice.
  void Reset();

 private:
  std::string FreshFolder();  // caller holds mutex_
  void RemoveFreshFolder();   // caller holds mutex_

  CallLog& calls_;
  const Clock& clock_;
  std::mutex mutex_;
  std::string freshFolder_;                    // guarded by mutex_; empty until first asked
  std::optional<std::string> appDataFolder_;   // guarded by mutex_; set by the test
  std::optional<std::string> programFile_;     // guarded by mutex_; set by the test
  FileStepHook stepHook_;                      // guarded by mutex_; called without it
};

}  // namespace sim
