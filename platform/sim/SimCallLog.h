// The record of every platform call and the failures a test has asked for.
// Any thread may record: the timer thread sends while the main thread opens.
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "platform/sim/SimDriver.h"

namespace sim {

class CallLog {
 public:
  // The result a pending failure rule gives this call, if one matches; the
  // matching rule then counts down. `Device` is the physical device the call
  // concerns, -1 for none.
  std::optional<MMRESULT> TakeFailure(Call What, int Device);
  void AddFailure(Call What, MMRESULT Result, int Count, int Device, int After);
  void ClearFailures();

  void Record(CallRecord Record);
  // The record of a driver call made at Time.
  void Record(Call What, int Device, std::uintptr_t Handle, std::uintptr_t Arg, MMRESULT Result,
              TDateTime Time);
  std::vector<CallRecord> Records() const;
  std::vector<CallRecord> Records(Call What) const;
  void ClearRecords();
  void SetRecording(bool On);

  void Reset();

 private:
  struct FailureRule {
    Call What;
    MMRESULT Result;
    int Remaining;  // < 0: for ever
    int Device;     // -1: any device
    int Passing;    // matching calls still to let through before the first failure
  };

  mutable std::mutex mutex_;
  std::vector<FailureRule> rules_;     // guarded by mutex_
  std::vector<CallRecord> records_;    // guarded by mutex_
  bool recording_ = true;              // guarded by mutex_
};

}  // namespace sim
