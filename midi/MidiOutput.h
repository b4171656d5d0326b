// A MIDI output port: opens and closes one output device, sends short
// messages and system-exclusive blocks, and keeps every long message the
// device has not finished until its completion notice arrives.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "midi/MidiHeader.h"
#include "midi/MidiIOBase.h"
#include "platform/DateTime.h"
#include "platform/MmSystem.h"

class TMidiOutput : public TMidiIOBase {
 public:
  using TLongDoneEvent = std::function<void(TMidiOutput& Sender, MIDIHDR* Header)>;

  // Between a system-exclusive message's first block and its F7 a device
  // takes nothing but real-time messages: other short messages wait for
  // the end, this many at most; one more ends the message as a cut one.
  static constexpr std::size_t MaxShortsWaitingForSysEx = 1024;
  // A message whose next block has not come for this long (its sender
  // stopped mid-dump) is ended as a cut one, so notes never wait longer.
  static constexpr std::uint32_t StalledSysExMilliseconds = 1000;

  TMidiOutput();
  ~TMidiOutput() override;

  bool Open(std::int32_t Index) override;
  void Close() override;

  // Timer thread. Both send only while the port is mpsOpen and return false
  // otherwise; SendLong copies the bytes, so the caller may free its own.
  bool SendShort(DWORD Data);
  bool SendLong(const void* Data, std::int32_t Length);
  // Sends only while the port is still in the open it was in when the
  // message was scheduled (Generation() read then), so nothing scheduled
  // before a close reaches the device after it, or after a reopen.
  bool SendShortScheduled(DWORD Data, std::uint32_t ScheduledGeneration);
  // Ends a system-exclusive message that the device received in part: sends
  // a lone F7 when the last block it took did not end one, nothing otherwise.
  // The short messages that waited for the end follow it.
  bool EndUnfinishedSysEx();
  // Timer thread: ends the unfinished message when its last block went at
  // least StalledSysExMilliseconds before Now.
  void EndStalledSysEx(TDateTime Now);
  // Whether any port of the program is inside an unfinished message: while
  // none is, the tick need not ask each port for a stalled one.
  static bool AnySysExUnfinished() { return UnfinishedSysExPorts.load(std::memory_order_acquire) > 0; }

  // Counts the opens and closes begun and the drops of what was scheduled
  // (Forget), so a message can tell whether it still belongs to the open it
  // was scheduled in.
  std::uint32_t Generation() const { return FGeneration.load(std::memory_order_acquire); }
  // What was scheduled for the device so far is not sent (a panic).
  void Forget();
  // The device answered a send that it is gone, or the engine found it left
  // the system's list: nothing more is sent to it. The first answer of the
  // kind on the timer thread posts a notice, and the main thread then makes
  // the port mpsLost. Cleared when the port opens again.
  bool DeviceIsGone() const { return FGone.load(std::memory_order_acquire); }
  void MarkGone();  // main thread: the device left the list

  TLongDoneEvent OnLongDone;

 protected:
  virtual void DoLongDone(MIDIHDR* Header);
  void WndProc(TMessage& Message) override;
  void SetState(TMidiPortState Value) override;

 private:
  bool OpenPort(std::int32_t Index);
  // Counts a send that reached the driver; returns Done.
  bool CountSent(bool Done);
  // Frees a header the device has finished, or keeps it when the driver
  // will not let go of it.
  void ReleaseDoneHeader(TMidiHeader Header);
  // Under FSendLock.
  std::vector<TMidiHeader>::iterator FindPending(const MIDIHDR* Header);
  // The port is open; under FSendLock.
  bool SendShortLocked(DWORD Data);
  bool SendBlockLocked(TMidiHeader& Block);  // gives Block back when it was not sent
  bool EndSysExLocked();
  // The driver's answer to a send; one saying the device is gone marks it so.
  bool AcceptedLocked(MMRESULT Result);
  void SetInsideSysExLocked(bool Inside);

  // Keeps a send apart from the state change of a close: held by every send
  // for its whole driver call, and by the state changes to and from mpsOpen,
  // so no send reaches a handle once its close has begun. Also guards
  // FHandle and FPendingHeaders.
  std::mutex FSendLock;
  HMIDIOUT FHandle = nullptr;             // guarded by FSendLock
  // Written under FSendLock; read without it by the main thread when it
  // schedules, and under it by every scheduled send.
  std::atomic<std::uint32_t> FGeneration{0};
  // The last block sent ended inside a system-exclusive message. Guarded by
  // FSendLock; cleared when a close begins (the reset ends the message).
  bool FInsideSysEx = false;
  // How many ports have FInsideSysEx set; changed with it, under each port's lock.
  static inline std::atomic<std::int32_t> UnfinishedSysExPorts{0};
  // When that last block went, 0 while not inside a message. Written under
  // FSendLock; read without it by the tick that looks for a stalled one.
  std::atomic<TDateTime> FInsideSysExSince{0.0};
  // Short messages waiting for the end of the message, in arrival order;
  // guarded by FSendLock. Its room is taken when the port is made, so the
  // timer thread never allocates for it.
  std::vector<DWORD> FWaitingForSysExEnd;
  std::vector<TMidiHeader> FPendingHeaders;  // guarded by FSendLock; in send order
  // Written under FSendLock; read without it by the engine (main thread).
  std::atomic<bool> FGone{false};
  // A handle whose close was refused with MIDIERR_STILLPLAYING: the system
  // still holds the device open through it, so it is closed again before
  // the next open. Main thread only.
  HMIDIOUT FUnclosedHandle = nullptr;
};
