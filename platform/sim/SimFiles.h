// Files and folders of the simulated machine: the settings file lives on the
// real file system, in a fresh temporary folder per Reset unless a test
// chooses another.
#pragma once

#include <atomic>
#include <cstddef>
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
  bool Exists(const std::string& path);

  // A slow disk: each read and each replacement takes this long on the
  // simulated clock (0, the default: no time at all).
  void SetLatency(double milliseconds);
  // Reads and replacements under way (waiting for their latency) right now.
  std::size_t OperationsInProgress() const { return inProgress_.load(); }

  std::string LocalAppDataFolder();
  std::string ProgramFilePath();
  void SetLocalAppDataFolder(std::string folder);
  void SetProgramFilePath(std::string path);
  void SetStepHook(FileStepHook hook);

  // Removes the temporary folder of the last run and forgets every choice.
  void Reset();

 private:
  void TakeLatency();         // caller holds no lock
  std::string FreshFolder();  // caller holds mutex_
  void RemoveFreshFolder();   // caller holds mutex_

  CallLog& calls_;
  const Clock& clock_;
  std::mutex mutex_;
  std::string freshFolder_;                    // guarded by mutex_; empty until first asked
  std::optional<std::string> appDataFolder_;   // guarded by mutex_; set by the test
  std::optional<std::string> programFile_;     // guarded by mutex_; set by the test
  FileStepHook stepHook_;                      // guarded by mutex_; called without it
  double latencyMs_ = 0;                       // guarded by mutex_
  std::atomic<std::size_t> inProgress_{0};     // atomic: counted by the thread that reads or writes
};

}  // namespace sim
