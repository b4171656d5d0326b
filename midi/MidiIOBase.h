// Common base of the MIDI input and output ports: device index, state with
// its state-change event, the system's device handle and the hidden notice
// window to which the system posts the port's MIDI notices.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "midi/ActivityCounter.h"
#include "midi/MidiMessages.h"
#include "midi/MidiPortState.h"
#include "platform/NoticeWindow.h"

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

 private:
  // Written on the main thread only; atomics so the timer thread's sends and
  // the lamps' readers see a whole value.
  std::atomic<std::int32_t> FDeviceIndex{ClosedPortIndex};
  std::atomic<TMidiPortState> FState{mpsClosed};
  platform::NoticeWindow FNoticeWindow;
  TActivityCounter FActivity;  // an atomic of its own
};
