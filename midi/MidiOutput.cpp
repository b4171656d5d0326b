#include "midi/MidiOutput.h"

#include <algorithm>
#include <cstring>

#include "midi/MidiMessages.h"
#include "midi/OpenHandles.h"
#include "platform/Platform.h"

namespace {
constexpr UINT HeaderSize = sizeof(MIDIHDR);
}

TMidiOutput::TMidiOutput() = default;

TMidiOutput::~TMidiOutput() {
  Close();
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
    if (Value == mpsClosing) FInsideSysEx = false;
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
  Close();
  return false;
}

void TMidiOutput::Close() {
  if (State() == mpsClosed) return;
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
  return Sent(platform::midiOutShortMsg(FHandle, Data) == MMSYSERR_NOERROR);
}

bool TMidiOutput::SendShortScheduled(DWORD Data, std::uint32_t ScheduledGeneration) {
  std::lock_guard<std::mutex> guard(FSendLock);
  if (State() != mpsOpen || FGeneration.load(std::memory_order_relaxed) != ScheduledGeneration)
    return false;
  return Sent(platform::midiOutShortMsg(FHandle, Data) == MMSYSERR_NOERROR);
}

bool TMidiOutput::Sent(bool Done) {
  if (Done) Activity().Bump();
  return Done;
}

void TMidiOutput::Forget() {
  std::lock_guard<std::mutex> guard(FSendLock);
  FGeneration.fetch_add(1, std::memory_order_acq_rel);
}

bool TMidiOutput::EndUnfinishedSysEx() {
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    if (!FInsideSysEx) return false;
  }
  return SendLong(&midi::EndOfExclusive, 1);
}

bool TMidiOutput::SendLong(const void* Data, std::int32_t Length) {
  if (Length <= 0 || Data == nullptr || State() != mpsOpen) return false;
  TMidiHeader owned = TMidiHeader::Allocate(static_cast<std::size_t>(Length));
  if (!owned) return false;
  MIDIHDR* const header = owned.Get();
  std::memcpy(header->lpData, Data, static_cast<std::size_t>(Length));

  // Declared after the header, so the lock is given up before a header that
  // was not sent is freed.
  std::unique_lock<std::mutex> guard(FSendLock);
  if (State() != mpsOpen) return false;
  // Entered before the device sees it, so a completion handled at once on
  // the main thread finds it.
  FPendingHeaders.push_back(std::move(owned));
  const bool prepared = platform::midiOutPrepareHeader(FHandle, header, HeaderSize) == MMSYSERR_NOERROR;
  const bool sent = prepared && platform::midiOutLongMsg(FHandle, header, HeaderSize) == MMSYSERR_NOERROR;
  if (sent) {
    FInsideSysEx = static_cast<const std::uint8_t*>(Data)[Length - 1] != midi::EndOfExclusive;
    return Sent(true);
  }
  const auto entry = FindPending(header);
  owned = std::move(*entry);
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
