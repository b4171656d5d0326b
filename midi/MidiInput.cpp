#include "midi/MidiInput.h"

#include <algorithm>

#include "midi/OpenHandles.h"
#include "platform/Platform.h"

namespace {
constexpr UINT HeaderSize = sizeof(MIDIHDR);
}

TMidiInput::TMidiInput() = default;

TMidiInput::~TMidiInput() {
  Close();
  CloseUnclosedHandle(FUnclosedHandle, platform::midiInReset, platform::midiInClose);
}

bool TMidiInput::Open(std::int32_t Index) {
  if (State() != mpsClosed) Close();
  SetDeviceIndex(Index < 0 ? NoDevice : Index);
  SetState(mpsOpening);
  CloseUnclosedHandle(FUnclosedHandle, platform::midiInReset, platform::midiInClose);

  const MMRESULT opened =
      platform::midiInOpen(&FHandle, static_cast<UINT>(DeviceIndex()), NoticeTarget(), 0, CALLBACK_WINDOW);
  if (OpenFoundDeviceGone(opened)) {
    BecomeLost();
    return false;
  }
  bool ok = opened == MMSYSERR_NOERROR;
  if (ok) NoteHandleOpened(FHandle);
  for (int slot = 0; ok && slot < SysExBufferCount; ++slot) {
    FSysExBuffers[slot] = TMidiHeader::Allocate(SysExBufferSize);
    ok = static_cast<bool>(FSysExBuffers[slot]) &&
         platform::midiInPrepareHeader(FHandle, FSysExBuffers[slot].Get(), HeaderSize) == MMSYSERR_NOERROR &&
         GiveBuffer(slot);
  }
  ok = ok && platform::midiInStart(FHandle) == MMSYSERR_NOERROR;
  if (ok) {
    SetState(mpsOpen);
    return true;
  }
  // The calls of Close may fail on a handle that was never opened.
  Close();
  return false;
}

void TMidiInput::Close() {
  if (State() == mpsClosed) return;
  if (State() == mpsLost) {
    SetState(mpsClosed);  // its handle went when it was lost
    SetDeviceIndex(ClosedPortIndex);
    return;
  }
  SetState(mpsClosing);
  // Only the results that tell whether the driver still holds a buffer or
  // the handle matter: the port closes whatever the others say.
  platform::midiInStop(FHandle);
  platform::midiInReset(FHandle);
  // Short messages the device delivered before it stopped are passed on
  // now, while the port is still closing: handled after the close, they
  // would start notes that no Note Off will ever follow.
  DeliverWaitingNotices(MM_MIM_DATA);
  // The stop and the reset have returned every buffer the device held,
  // those with bytes it had received included; their notices arrive after
  // the close, when the buffers are gone. Their bytes are passed on now, in
  // the order the device filled them, and the late notices find no buffer.
  std::deque<int> returned;
  returned.swap(FQueuedSlots);
  PassOnReturnedBuffers(returned);
  std::array<bool, SysExBufferCount> unprepared{};
  for (int slot = 0; slot < SysExBufferCount; ++slot) {
    if (!FSysExBuffers[slot]) continue;
    unprepared[slot] = platform::midiInUnprepareHeader(FHandle, FSysExBuffers[slot].Get(), HeaderSize) ==
                       MMSYSERR_NOERROR;
  }
  if (platform::midiInClose(FHandle) == MIDIERR_STILLPLAYING) FUnclosedHandle = FHandle;
  NoteHandleReleased(FHandle);
  for (int slot = 0; slot < SysExBufferCount; ++slot) {
    TMidiHeader& buffer = FSysExBuffers[slot];
    if (!buffer) continue;
    // A vanished device refuses the unprepare but lets go of its buffers as
    // its handle goes: only a buffer still queued after the close is kept.
    const bool driverMayHoldIt = !unprepared[slot] && (buffer->dwFlags & MHDR_INQUEUE) != 0;
    if (driverMayHoldIt) {
      buffer.KeepForDriver();
    } else {
      buffer = TMidiHeader();
    }
  }
  SetState(mpsClosed);
  FHandle = nullptr;
  SetDeviceIndex(ClosedPortIndex);
}

void TMidiInput::PassOnReturnedBuffers(const std::deque<int>& Slots) {
  for (const int slot : Slots) {
    const MIDIHDR& header = *FSysExBuffers[slot].Get();
    // A buffer the device did not return (its reset failed) may still be
    // written to; its bytes are lost with the device.
    if ((header.dwFlags & MHDR_DONE) == 0 || header.dwBytesRecorded == 0) continue;
    if (OnLongData) {
      OnLongData(*this, reinterpret_cast<const std::uint8_t*>(header.lpData),
                 static_cast<std::int32_t>(header.dwBytesRecorded));
    }
  }
}

int TMidiInput::HeaderSlot(LPARAM Address) const {
  for (int slot = 0; slot < SysExBufferCount; ++slot) {
    if (FSysExBuffers[slot] && reinterpret_cast<LPARAM>(FSysExBuffers[slot].Get()) == Address)
      return slot;
  }
  return -1;
}

int TMidiInput::TakeReturnedSlot(const TMessage& Message) {
  // A notice from the reset of a close can come after a new open: act only
  // on the current handle's, while open, for a buffer the device still
  // holds (a notice without a header, LParam 0, names none).
  const TMidiPortState state = State();
  if (state != mpsOpen && state != mpsClosing) return -1;
  if (Message.WParam != reinterpret_cast<WPARAM>(FHandle)) return -1;
  const int slot = HeaderSlot(Message.LParam);
  if (slot < 0) return -1;
  const auto queued = std::find(FQueuedSlots.begin(), FQueuedSlots.end(), slot);
  if (queued == FQueuedSlots.end()) return -1;
  // Handle values and header addresses can both come back after a close
  // (Wine reuses both): a buffer that the device has not marked done is
  // still queued in it, and its bytes are not complete yet.
  if ((FSysExBuffers[slot]->dwFlags & MHDR_DONE) == 0) return -1;
  FQueuedSlots.erase(queued);
  return slot;
}

bool TMidiInput::GiveBuffer(int Slot) {
  const MMRESULT given = platform::midiInAddBuffer(FHandle, FSysExBuffers[Slot].Get(), HeaderSize);
  // The device is gone: the port is closed once this notice has been handled.
  if (DeviceGone(given) && State() == mpsOpen) PostSelfNotice();
  if (given != MMSYSERR_NOERROR) return false;
  FQueuedSlots.push_back(Slot);
  return true;
}

void TMidiInput::HandBack(int Slot) {
  // The header is still prepared. A failure needs no handling: a buffer the
  // device refuses stays with the port until the close.
  platform::midiInPrepareHeader(FHandle, FSysExBuffers[Slot].Get(), HeaderSize);
  GiveBuffer(Slot);
}

void TMidiInput::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case platform::SelfNotice:
      if (State() == mpsOpen) BecomeLost();
      break;
    case MM_MIM_DATA:
      // Passed on whatever handle the notice names: only this port's own
      // opens post to its window, and data of an earlier open was played
      // while it was open.
      if (OnData) OnData(*this, static_cast<DWORD>(Message.LParam));
      break;
    case MM_MIM_LONGDATA: {
      const int slot = TakeReturnedSlot(Message);
      if (slot < 0) break;
      const MIDIHDR& header = *FSysExBuffers[slot].Get();
      const HMIDIIN handle = FHandle;
      if (OnLongData) {
        OnLongData(*this, reinterpret_cast<const std::uint8_t*>(header.lpData),
                   static_cast<std::int32_t>(header.dwBytesRecorded));
      }
      // The listener may have pumped messages and closed the port meanwhile.
      if ((State() == mpsOpen || State() == mpsClosing) && FHandle == handle) HandBack(slot);
      break;
    }
    case MM_MIM_LONGERROR: {
      // The buffer goes back at once: kept, every broken message would cost
      // the port one of its few buffers for good.
      const int slot = TakeReturnedSlot(Message);
      if (slot < 0) break;
      const HMIDIIN handle = FHandle;
      if (OnLongError) OnLongError(*this);
      if ((State() == mpsOpen || State() == mpsClosing) && FHandle == handle) HandBack(slot);
      break;
    }
    default:
      break;
  }
}
