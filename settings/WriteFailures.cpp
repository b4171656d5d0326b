#include "settings/WriteFailures.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace {
std::mutex FailuresLock;
std::vector<std::string> Failures;       // guarded by FailuresLock
std::string Fault;                       // guarded by FailuresLock
std::function<void()> FaultListener;     // guarded by FailuresLock
}  // namespace

void RecordWriteFailure(const std::string& FileName) {
  const std::lock_guard<std::mutex> lock(FailuresLock);
  if (std::find(Failures.begin(), Failures.end(), FileName) == Failures.end())
    Failures.push_back(FileName);
}

void ForgetWriteFailure(const std::string& FileName) {
  const std::lock_guard<std::mutex> lock(FailuresLock);
  Failures.erase(std::remove(Failures.begin(), Failures.end(), FileName), Failures.end());
}

std::vector<std::string> TakeWriteFailures() {
  const std::lock_guard<std::mutex> lock(FailuresLock);
  return std::exchange(Failures, {});
}

void SetSettingsFault(const std::string& Reason) {
  const std::lock_guard<std::mutex> lock(FailuresLock);
  if (Fault == Reason) return;
  Fault = Reason;
  if (FaultListener) FaultListener();
}

std::string SettingsFault() {
  const std::lock_guard<std::mutex> lock(FailuresLock);
  return Fault;
}

void SetSettingsFaultListener(std::function<void()> Listener) {
  const std::lock_guard<std::mutex> lock(FailuresLock);
  FaultListener = std::move(Listener);
}
