// A MIDI output port: opens and closes one output device, sends short
// messages and system-exclusive blocks, and keeps every long message the
// device has not finished until its completion notice arrives.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "midi/MidiIOBase.h"
#include "platform/MmSystem.h"

class TMidiOutput : public TMidiIOBase {
 public:
  using TLongDoneEvent = std::function<void(TMidiOutput& Sender, MIDIHDR* Header)>;

  TMidiOutput();
  ~TMidiOutput() override;

  bool Open(std::int32_t Index) override;
  void Close() override;

  // Timer thread. Both send only while the port is mpsOpen and return false
  // otherwise; SendLong copies the bytes, so the caller may free its own.
  bool SendShort(DWORD Data);
  bool SendLong(const void* Data, std::int32_t Length);

  std::size_t PendingHeaderCount() const;

  TLongDoneEvent OnLongDone;

 protected:
  virtual void DoLongDone(MIDIHDR* Header);
  void WndProc(TMessage& Message) override;
  void SetState(TMidiPortState Value) override;

 private:
  bool OpenPort(std::int32_t Index);
  void ReleaseHeader(MIDIHDR* Header, bool unprepare);
  void CloseUnclosedHandle();

  // Keeps a send apart from the state change of a close: held by every send
  // for its whole driver call, and by the state changes to and from mpsOpen,
  // so no send reaches a handle once its close has begun. Also guards
  // FHandle and FPendingHeaders.
  mutable std::mutex FSendLock;
  HMIDIOUT FHandle = nullptr;             // guarded by FSendLock
  std::vector<MIDIHDR*> FPendingHeaders;  // guarded by FSendLock; in send order
  // A handle whose close was refused with MIDIERR_STILLPLAYING: the system
  // still holds the device open through it, so it is closed again before
  // the next open. Main thread only.
  HMIDIOUT FUnclosedHandle = nullptr;
};
