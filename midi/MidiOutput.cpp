#include "midi/MidiOutput.h"

#include <algorithm>
#include <cstring>

#include "midi/MidiMessages.h"
#include "midi/OpenHandles.h"
#include "platform/Platform.h"

namespace {
constexpr UINT HeaderSize = sizeof(MIDIHDR);
}

TMidiOutput::TMidiOutput() { FWaitingForSysExEnd.reserve(MaxShortsWaitingForSysEx); }

TMidiOutput::~TMidiOutput() {
  Close();
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    SetInsideSysExLocked(false);  // counted among the unfinished messages no longer
  }
  CloseUnclosedHandle(FUnclosedHandle, platform::midiOutReset, platform::midiOutClose);
}

void TMidiOutput::SetState(TMidiPortState Value) {
  {
    // A send in progress finishes before the state moves on, and no send
    // starts on a port that has begun to close.
    std::lock_guard<std::mutex> guard(FSendLock);
    StoreState(Value);
    // A message scheduled in one open, or while the port was closed, is
    // never sent in another.
    if (Value == mpsOpening || Value == mpsClosing) FGeneration.fetch_add(1, std::memory_order_acq_rel);
    if (Value == mpsOpening) FGone.store(false, std::memory_order_release);
    if (Value == mpsClosing) {
      // The reset ends the message; what waited for its end was scheduled
      // before the close and goes with it.
      FWaitingForSysExEnd.clear();
      SetInsideSysExLocked(false);
    }
  }
  if (OnStateChange) OnStateChange(*this, Value);
}

bool TMidiOutput::Open(std::int32_t Index) { return OpenPort(Index); }

bool TMidiOutput::OpenPort(std::int32_t Index) {
  if (State() != mpsClosed) Close();
  SetDeviceIndex(Index < 0 ? NoDevice : Index);
  SetState(mpsOpening);
  CloseUnclosedHandle(FUnclosedHandle, platform::midiOutReset, platform::midiOutClose);
  HMIDIOUT handle = nullptr;
  const MMRESULT result =
      platform::midiOutOpen(&handle, static_cast<UINT>(DeviceIndex()), NoticeTarget(), 0,
                            CALLBACK_WINDOW);
  if (result == MMSYSERR_NOERROR) {
    NoteHandleOpened(handle);
    {
      std::lock_guard<std::mutex> guard(FSendLock);
      FHandle = handle;
    }
    SetState(mpsOpen);
    return true;
  }
  if (OpenFoundDeviceGone(result)) {
    BecomeLost();
  } else {
    Close();
  }
  return false;
}

void TMidiOutput::Close() {
  if (State() == mpsClosed) return;
  if (State() == mpsLost) {
    SetState(mpsClosed);  // its handle went when it was lost
    SetDeviceIndex(ClosedPortIndex);
    return;
  }
  SetState(mpsClosing);
  // From here on no send reaches the device, so the driver calls below need
  // no lock; only the list and the handle are shared.
  HMIDIOUT handle;
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    handle = FHandle;
  }
  // A failed reset leaves headers queued; the unprepares below find them.
  platform::midiOutReset(handle);
  std::vector<TMidiHeader> pending;
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    pending.swap(FPendingHeaders);
  }
  // A vanished device refuses every call, unprepare included, but lets go of
  // its headers as the close releases the handle.
  std::vector<TMidiHeader> refused;
  for (TMidiHeader& header : pending) {
    if (platform::midiOutUnprepareHeader(handle, header.Get(), HeaderSize) != MMSYSERR_NOERROR)
      refused.push_back(std::move(header));
  }
  pending.clear();
  // The result tells only whether the system still holds the handle.
  if (platform::midiOutClose(handle) == MIDIERR_STILLPLAYING) FUnclosedHandle = handle;
  NoteHandleReleased(handle);
  for (TMidiHeader& header : refused) {
    const bool driverMayHoldIt = (header->dwFlags & MHDR_INQUEUE) != 0;
    if (driverMayHoldIt) header.KeepForDriver();
  }
  refused.clear();
  SetState(mpsClosed);
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    FHandle = nullptr;
  }
  SetDeviceIndex(ClosedPortIndex);
}

bool TMidiOutput::SendShort(DWORD Data) {
  std::lock_guard<std::mutex> guard(FSendLock);
  if (State() != mpsOpen) return false;
  return SendShortLocked(Data);
}

bool TMidiOutput::SendShortScheduled(DWORD Data, std::uint32_t ScheduledGeneration) {
  std::lock_guard<std::mutex> guard(FSendLock);
  if (State() != mpsOpen || FGeneration.load(std::memory_order_relaxed) != ScheduledGeneration)
    return false;
  return SendShortLocked(Data);
}

bool TMidiOutput::AcceptedLocked(MMRESULT Result) {
  if (DeviceGone(Result) && !FGone.exchange(true, std::memory_order_acq_rel)) PostSelfNotice();
  return Result == MMSYSERR_NOERROR;
}

void TMidiOutput::MarkGone() {
  std::lock_guard<std::mutex> guard(FSendLock);
  FGone.store(true, std::memory_order_release);
}

bool TMidiOutput::SendShortLocked(DWORD Data) {
  // A dead device is not asked again: some drivers take their time to say so.
  if (FGone.load(std::memory_order_relaxed)) return false;
  if (FInsideSysEx && !midi::IsRealTime(Data)) {
    if (FWaitingForSysExEnd.size() < MaxShortsWaitingForSysEx) {
      FWaitingForSysExEnd.push_back(Data);
      return true;  // it counts for the lamp when it goes
    }
    EndSysExLocked();
  }
  return CountSent(AcceptedLocked(platform::midiOutShortMsg(FHandle, Data)));
}

bool TMidiOutput::CountSent(bool Done) {
  if (Done) Activity().Bump();
  return Done;
}

void TMidiOutput::Forget() {
  std::lock_guard<std::mutex> guard(FSendLock);
  FGeneration.fetch_add(1, std::memory_order_acq_rel);
  FWaitingForSysExEnd.clear();
}

bool TMidiOutput::EndUnfinishedSysEx() {
  // Most calls find no message to end; they take no lock.
  if (FInsideSysExSince.load(std::memory_order_acquire) == 0.0) return false;
  std::lock_guard<std::mutex> guard(FSendLock);
  if (State() != mpsOpen || !FInsideSysEx) return false;
  return EndSysExLocked();
}

void TMidiOutput::EndStalledSysEx(TDateTime Now) {
  const TDateTime stalledSince = Now - MillisecondsToDateTime(StalledSysExMilliseconds);
  const TDateTime since = FInsideSysExSince.load(std::memory_order_acquire);
  if (since == 0.0 || since > stalledSince) return;
  std::lock_guard<std::mutex> guard(FSendLock);
  // A block may have gone since the look without the lock.
  const TDateTime lastBlock = FInsideSysExSince.load(std::memory_order_relaxed);
  if (State() != mpsOpen || !FInsideSysEx || lastBlock == 0.0 || lastBlock > stalledSince) return;
  EndSysExLocked();
}

bool TMidiOutput::EndSysExLocked() {
  TMidiHeader end = TMidiHeader::Allocate(1);
  bool sent = false;
  if (end) {
    std::memcpy(end->lpData, &midi::EndOfExclusive, 1);
    sent = SendBlockLocked(end);
  }
  // A device that refuses even the F7 has its message ended all the same:
  // what waits for the end must not wait for ever.
  if (!sent) SetInsideSysExLocked(false);
  return sent;
}

void TMidiOutput::SetInsideSysExLocked(bool Inside) {
  if (Inside != FInsideSysEx) UnfinishedSysExPorts.fetch_add(Inside ? 1 : -1, std::memory_order_acq_rel);
  FInsideSysEx = Inside;
  FInsideSysExSince.store(Inside ? platform::Now() : 0.0, std::memory_order_release);
  if (Inside) return;
  for (const DWORD waiting : FWaitingForSysExEnd)
    if (!FGone.load(std::memory_order_relaxed)) CountSent(AcceptedLocked(platform::midiOutShortMsg(FHandle, waiting)));
  FWaitingForSysExEnd.clear();
}

bool TMidiOutput::SendLong(const void* Data, std::int32_t Length) {
  if (Length <= 0 || Data == nullptr || State() != mpsOpen) return false;
  TMidiHeader owned = TMidiHeader::Allocate(static_cast<std::size_t>(Length));
  if (!owned) return false;
  std::memcpy(owned->lpData, Data, static_cast<std::size_t>(Length));

  // Declared after the header, so the lock is given up before a header that
  // was not sent is freed.
  std::unique_lock<std::mutex> guard(FSendLock);
  if (State() != mpsOpen) return false;
  return SendBlockLocked(owned);
}

bool TMidiOutput::SendBlockLocked(TMidiHeader& Block) {
  if (FGone.load(std::memory_order_relaxed)) return false;
  MIDIHDR* const header = Block.Get();
  const auto length = static_cast<std::size_t>(header->dwBufferLength);
  const bool endsInside = static_cast<const std::uint8_t*>(static_cast<void*>(header->lpData))[length - 1] !=
                          midi::EndOfExclusive;
  // Entered before the device sees it, so a completion handled at once on
  // the main thread finds it.
  FPendingHeaders.push_back(std::move(Block));
  const bool prepared = AcceptedLocked(platform::midiOutPrepareHeader(FHandle, header, HeaderSize));
  const bool sent = prepared && AcceptedLocked(platform::midiOutLongMsg(FHandle, header, HeaderSize));
  if (sent) {
    SetInsideSysExLocked(endsInside);
    return CountSent(true);
  }
  const auto entry = FindPending(header);
  Block = std::move(*entry);
  FPendingHeaders.erase(entry);
  if (prepared) platform::midiOutUnprepareHeader(FHandle, header, HeaderSize);
  return false;
}

std::vector<TMidiHeader>::iterator TMidiOutput::FindPending(const MIDIHDR* Header) {
  return std::find_if(FPendingHeaders.begin(), FPendingHeaders.end(),
                      [Header](const TMidiHeader& pending) { return pending.Get() == Header; });
}

void TMidiOutput::DoLongDone(MIDIHDR* Header) {
  if (OnLongDone) OnLongDone(*this, Header);
}

void TMidiOutput::ReleaseDoneHeader(TMidiHeader Header) {
  HMIDIOUT handle;
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    handle = FHandle;
  }
  if (platform::midiOutUnprepareHeader(handle, Header.Get(), HeaderSize) == MIDIERR_STILLPLAYING)
    Header.KeepForDriver();
}

void TMidiOutput::WndProc(TMessage& Message) {
  // A send found the device gone; a close or reopen since has dealt with it.
  if (Message.Msg == platform::SelfNotice) {
    if (State() == mpsOpen && DeviceIsGone()) BecomeLost();
    return;
  }
  if (Message.Msg != MM_MOM_DONE) return;
  auto* header = reinterpret_cast<MIDIHDR*>(Message.LParam);
  TMidiHeader done;
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    // A notice posted by the reset of an earlier open names another handle;
    // it must not complete a header sent since at the same address.
    const TMidiPortState state = State();
    if (state != mpsOpen && state != mpsClosing) return;
    if (reinterpret_cast<WPARAM>(FHandle) != Message.WParam) return;
    const auto found = FindPending(header);
    if (found == FPendingHeaders.end()) return;
    // The handle value and the header's address can both come back after a
    // close (Wine reuses both): a header that the device has not marked done
    // is still the device's, whatever the notice says.
    if ((header->dwFlags & MHDR_DONE) == 0) return;
    done = std::move(*found);
    FPendingHeaders.erase(found);
  }
  DoLongDone(header);
  ReleaseDoneHeader(std::move(done));
}
