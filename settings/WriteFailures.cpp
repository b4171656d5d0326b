#include "settings/WriteFailures.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace {
std::mutex FailuresLock;
std::vector<std::string> Failures;  // guarded by FailuresLock
}  // namespace

void RecordWriteFailure(const std::string& fileName) {
  const std::lock_guard<std::mutex> lock(FailuresLock);
  if (std::find(Failures.begin(), Failures.end(), fileName) == Failures.end())
    Failures.push_back(fileName);
}

std::vector<std::string> TakeWriteFailures() {
  const std::lock_guard<std::mutex> lock(FailuresLock);
  return std::exchange(Failures, {});
}
