#include "platform/sim/SimCallLog.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace sim {

std::optional<MMRESULT> CallLog::TakeFailure(Call What, int Device) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Rules are tried in the order they were given, so a test can stack a
  // device-specific failure before a general one.
  for (auto rule = rules_.begin(); rule != rules_.end(); ++rule) {
    if (rule->What != What || (rule->Device != -1 && rule->Device != Device)) continue;
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

void CallLog::AddFailure(Call What, MMRESULT Result, int Count, int Device, int After) {
  if (Count == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back({.What = What,
                    .Result = Result,
                    .Remaining = Count < 0 ? -1 : Count,
                    .Device = Device < 0 ? -1 : Device,
                    .Passing = After < 0 ? 0 : After});
}

void CallLog::ClearFailures() {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.clear();
}

void CallLog::Record(CallRecord Record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (recording_) records_.push_back(std::move(Record));
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

std::vector<CallRecord> CallLog::Records(Call What) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CallRecord> selected;
  std::copy_if(records_.begin(), records_.end(), std::back_inserter(selected),
               [What](const CallRecord& record) { return record.What == What; });
  return selected;
}

void CallLog::ClearRecords() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

void CallLog::SetRecording(bool On) {
  std::lock_guard<std::mutex> lock(mutex_);
  recording_ = On;
}

void CallLog::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.clear();
  records_.clear();
  recording_ = true;
}

}  // namespace sim
