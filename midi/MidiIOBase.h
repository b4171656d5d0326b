// Common base of the MIDI input and output ports: device index, state with
// its state-change event, the system's device handle and the hidden notice
// window to which the system posts the port's MIDI notices.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "midi/ActivityCounter.h"
#include "midi/MidiMessages.h"
#include "platform/MmSystem.h"
#include "midi/MidiPortState.h"
#include "platform/NoticeWindow.h"

// A result by which the system says the device is not there any more (its
// driver unloaded, its handle or number gone with it), as opposed to one
// that refuses a single call.
constexpr bool DeviceGone(MMRESULT Result) {
  return Result == MMSYSERR_NODRIVER || Result == MMSYSERR_INVALHANDLE || Result == MMSYSERR_BADDEVICEID ||
         Result == MIDIERR_NODEVICE;
}
// The same for an open: a number the system does not list names no device
// (a machine without inputs, a list read before the device left), which the
// next reading of the catalogue settles; it is a refusal, not a loss.
constexpr bool OpenFoundDeviceGone(MMRESULT Result) { return Result != MMSYSERR_BADDEVICEID && DeviceGone(Result); }

class TMidiIOBase {
 public:
  // A port's own device index while it is closed.
  static constexpr std::int32_t ClosedPortIndex = -2;

  using TStateChangeEvent = std::function<void(TMidiIOBase& Sender, TMidiPortState State)>;

  TMidiIOBase();
  // Derived ports close themselves in their own destructors (a base
  // destructor cannot reach their Close any more).
  virtual ~TMidiIOBase();
  TMidiIOBase(const TMidiIOBase&) = delete;
  TMidiIOBase& operator=(const TMidiIOBase&) = delete;

  std::int32_t DeviceIndex() const { return FDeviceIndex.load(std::memory_order_acquire); }
  TMidiPortState State() const { return FState.load(std::memory_order_acquire); }

  TStateChangeEvent OnStateChange;  // main thread only

  // The messages this port has passed on (sent, or received).
  TActivityCounter& Activity() { return FActivity; }
  const TActivityCounter& Activity() const { return FActivity; }

  virtual bool Open(std::int32_t Index);
  virtual void Close() = 0;

 protected:
  virtual void WndProc(TMessage& Message) = 0;
  // Stores the state, then fires OnStateChange; no change test. Callers hold
  // no lock here: listeners pump messages.
  virtual void SetState(TMidiPortState Value);
  void StoreState(TMidiPortState Value) { FState.store(Value, std::memory_order_release); }
  void SetDeviceIndex(std::int32_t Index) { FDeviceIndex.store(Index, std::memory_order_release); }
  DWORD_PTR NoticeTarget() const { return FNoticeWindow.CallbackTarget(); }
  void DeliverWaitingNotices(UINT Msg) const { FNoticeWindow.DeliverWaiting(Msg); }
  // Any thread: the port's WndProc gets platform::SelfNotice on the main thread.
  void PostSelfNotice() const { FNoticeWindow.PostSelfNotice(); }
  // Main thread: closes what is left of a port whose device is gone and
  // reports mpsLost. A lost port's Close only reports mpsClosed.
  void BecomeLost();

 private:
  // Written on the main thread only; atomics so the timer thread's sends and
  // the lamps' readers see a whole value.
  std::atomic<std::int32_t> FDeviceIndex{ClosedPortIndex};
  std::atomic<TMidiPortState> FState{mpsClosed};
  platform::NoticeWindow FNoticeWindow;
  TActivityCounter FActivity;  // an atomic of its own
};
