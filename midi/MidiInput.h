// The MIDI input port: opens one input device and turns the system's notices
// into an event per short message and one per returned block of
// system-exclusive bytes. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>

#include "midi/MidiHeader.h"
#include "midi/MidiIOBase.h"
#include "platform/MmSystem.h"

class TMidiInput : public TMidiIOBase {
 public:
  using TDataEvent = std::function<void(TMidiInput& Sender, DWORD Data)>;
  using TLongDataEvent =
      std::function<void(TMidiInput& Sender, const std::uint8_t* Data, std::int32_t Length)>;
  using TLongErrorEvent = std::function<void(TMidiInput& Sender)>;

  static constexpr std::int32_t SysExBufferSize = 4096;
  // A driver drops system-exclusive bytes while it holds no buffer; with
  // several queued, one can be out with the main thread while the others
  // keep taking bytes.
  static constexpr int SysExBufferCount = 4;

  TMidiInput();
  ~TMidiInput() override;

  bool Open(std::int32_t Index) override;
  void Close() override;

  TDataEvent OnData;
  TLongDataEvent OnLongData;
  // The device returned a buffer of system-exclusive bytes as broken: they
  // are not passed on, and the message they belong to will not end.
  TLongErrorEvent OnLongError;

 protected:
  void WndProc(TMessage& Message) override;

 private:
  int HeaderSlot(LPARAM Address) const;
  // The slot of a buffer the device has returned with this notice, taken off
  // the queued ones; -1 for a stale or foreign notice.
  int TakeReturnedSlot(const TMessage& Message);
  bool GiveBuffer(int Slot);
  void HandBack(int Slot);
  void PassOnReturnedBuffers(const std::deque<int>& Slots);

  HMIDIIN FHandle = nullptr;
  // Owned by the port while it is open, also while the device holds them.
  std::array<TMidiHeader, SysExBufferCount> FSysExBuffers;
  // The slots whose buffers the device holds, in the order they were given
  // to it, which is the order in which it fills and returns them.
  std::deque<int> FQueuedSlots;
  // A handle whose close was refused with MIDIERR_STILLPLAYING: the system
  // still holds the device open through it, so it is closed again before
  // the next open.
  HMIDIIN FUnclosedHandle = nullptr;
};
