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
  Files(CallLog& Calls, const Clock& MachineClock) : calls_(Calls), clock_(MachineClock) {}
  ~Files();
  Files(const Files&) = delete;
  Files& operator=(const Files&) = delete;

  bool ReadText(const std::string& Path, std::string& Text);
  bool ReplaceText(const std::string& Path, const std::string& Text);
  bool Exists(const std::string& Path);

  // A slow disk: each read and each replacement takes this long on the
  // simulated clock (0, the default: no time at all).
  void SetLatency(double Milliseconds);
  // Reads and replacements under way (waiting for their latency) right now.
  std::size_t OperationsInProgress() const { return inProgress_.load(); }

  std::string LocalAppDataFolder();
  std::string ProgramFilePath();
  void SetLocalAppDataFolder(std::string Folder);
  void SetProgramFilePath(std::string Path);
  void SetStepHook(FileStepHook Hook);

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
