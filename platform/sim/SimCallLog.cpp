#include "platform/sim/SimCallLog.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace sim {

std::optional<MMRESULT> CallLog::TakeFailure(Call what, int device) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Rules are tried in the order they were given, so a test can stack a
  // device-specific failure before a general one.
  for (auto rule = rules_.begin(); rule != rules_.end(); ++rule) {
    if (rule->What != what || (rule->Device != -1 && rule->Device != device)) continue;
    if (rule->Passing > 0) {
      --rule->Passing;
      continue;
    }
    const MMRESULT result = rule->Result;
    if (rule->Remaining > 0 && --rule->Remaining == 0) rules_.erase(rule);
    return result;
  }
  return std::nullopt;
}

void CallLog::AddFailure(Call what, MMRESULT result, int count, int device, int after) {
  if (count == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back({.What = what,
                    .Result = result,
                    .Remaining = count < 0 ? -1 : count,
                    .Device = device < 0 ? -1 : device,
                    .Passing = after < 0 ? 0 : after});
}

void CallLog::ClearFailures() {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.clear();
}

void CallLog::Record(CallRecord record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (recording_) records_.push_back(std::move(record));
}

void CallLog::Record(Call What, int Device, std::uintptr_t Handle, std::uintptr_t Arg, MMRESULT Result,
                     TDateTime Time) {
  CallRecord record{};
  record.What = What;
  record.Device = Device;
  record.Handle = Handle;
  record.Arg = Arg;
  record.Result = Result;
  record.Time = Time;
  Record(std::move(record));
}

std::vector<CallRecord> CallLog::Records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

std::vector<CallRecord> CallLog::Records(Call what) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CallRecord> selected;
  std::copy_if(records_.begin(), records_.end(), std::back_inserter(selected),
               [what](const CallRecord& record) { return record.What == what; });
  return selected;
}

void CallLog::ClearRecords() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

void CallLog::SetRecording(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  recording_ = on;
}

void CallLog::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.clear();
  records_.clear();
  recording_ = true;
}

}  // namespace sim
