#include "midi/MidiOutput.h"

#include <algorithm>
#include <cstring>

#include "midi/DriverHeldBlocks.h"
#include "midi/MidiMessages.h"
#include "midi/OpenHandles.h"
#include "platform/Platform.h"

namespace {
constexpr UINT HeaderSize = sizeof(MIDIHDR);
}

TMidiOutput::TMidiOutput() = default;

TMidiOutput::~TMidiOutput() {
  Close();
  CloseUnclosedHandle();
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
  CloseUnclosedHandle();
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
  platform::midiOutReset(handle);  // result deliberately not examined
  std::vector<MIDIHDR*> pending;
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    pending.swap(FPendingHeaders);
  }
  // A header is freed once the driver has let go of it: its unprepare went
  // through, or, when that was refused (a vanished device refuses every
  // call), the close has left it no longer queued. One the driver may still
  // hold is kept rather than freed.
  std::vector<MIDIHDR*> refused;
  for (MIDIHDR* header : pending) {
    if (platform::midiOutUnprepareHeader(handle, header, HeaderSize) == MMSYSERR_NOERROR) {
      ReleaseHeader(header, false);
    } else {
      refused.push_back(header);
    }
  }
  // The result tells only whether the system still holds the handle.
  if (platform::midiOutClose(handle) == MIDIERR_STILLPLAYING) FUnclosedHandle = handle;
  NoteHandleReleased(handle);
  for (MIDIHDR* header : refused) {
    if ((header->dwFlags & MHDR_INQUEUE) != 0) {
      KeepBlockForDriver(header->lpData);
      KeepBlockForDriver(header);
    } else {
      ReleaseHeader(header, false);
    }
  }
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
  return platform::midiOutShortMsg(FHandle, Data) == MMSYSERR_NOERROR;
}

bool TMidiOutput::SendShortScheduled(DWORD Data, std::uint32_t ScheduledGeneration) {
  std::lock_guard<std::mutex> guard(FSendLock);
  if (State() != mpsOpen || FGeneration.load(std::memory_order_relaxed) != ScheduledGeneration)
    return false;
  return platform::midiOutShortMsg(FHandle, Data) == MMSYSERR_NOERROR;
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
  auto* header = static_cast<MIDIHDR*>(platform::ProcessHeapAlloc(HeaderSize));
  void* block = header ? platform::ProcessHeapAlloc(static_cast<std::size_t>(Length)) : nullptr;
  if (block == nullptr) {
    if (header) platform::ProcessHeapFree(header);
    return false;
  }
  std::memcpy(block, Data, static_cast<std::size_t>(Length));
  header->lpData = static_cast<LPSTR>(block);
  header->dwBufferLength = static_cast<DWORD>(Length);
  header->dwFlags = 0;

  std::unique_lock<std::mutex> guard(FSendLock);
  if (State() != mpsOpen) {
    guard.unlock();
    platform::ProcessHeapFree(block);
    platform::ProcessHeapFree(header);
    return false;
  }
  // Entered before the device sees it, so a completion handled at once on
  // the main thread finds it.
  FPendingHeaders.push_back(header);
  const bool prepared = platform::midiOutPrepareHeader(FHandle, header, HeaderSize) == MMSYSERR_NOERROR;
  const bool sent = prepared && platform::midiOutLongMsg(FHandle, header, HeaderSize) == MMSYSERR_NOERROR;
  if (sent) {
    FInsideSysEx = static_cast<const std::uint8_t*>(Data)[Length - 1] != midi::EndOfExclusive;
    return true;
  }
  FPendingHeaders.erase(std::find(FPendingHeaders.begin(), FPendingHeaders.end(), header));
  if (prepared) platform::midiOutUnprepareHeader(FHandle, header, HeaderSize);
  guard.unlock();
  platform::ProcessHeapFree(block);
  platform::ProcessHeapFree(header);
  return false;
}

std::size_t TMidiOutput::PendingHeaderCount() const {
  std::lock_guard<std::mutex> guard(FSendLock);
  return FPendingHeaders.size();
}

void TMidiOutput::DoLongDone(MIDIHDR* Header) {
  if (OnLongDone) OnLongDone(*this, Header);
}

void TMidiOutput::ReleaseHeader(MIDIHDR* Header, bool unprepare) {
  HMIDIOUT handle;
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    handle = FHandle;
  }
  if (unprepare && platform::midiOutUnprepareHeader(handle, Header, HeaderSize) == MIDIERR_STILLPLAYING) {
    KeepBlockForDriver(Header->lpData);
    KeepBlockForDriver(Header);
    return;
  }
  platform::ProcessHeapFree(Header->lpData);
  platform::ProcessHeapFree(Header);
}

void TMidiOutput::CloseUnclosedHandle() {
  if (FUnclosedHandle == nullptr) return;
  if (HandleHeldByAPort(FUnclosedHandle)) {
    FUnclosedHandle = nullptr;  // the system freed it and gave it to another port
    return;
  }
  // The reset makes the device give back what it still holds; results
  // deliberately not examined, but for the close that may be refused again.
  platform::midiOutReset(FUnclosedHandle);
  if (platform::midiOutClose(FUnclosedHandle) != MIDIERR_STILLPLAYING) FUnclosedHandle = nullptr;
}

void TMidiOutput::WndProc(TMessage& Message) {
  if (Message.Msg != MM_MOM_DONE) return;
  auto* header = reinterpret_cast<MIDIHDR*>(Message.LParam);
  {
    std::lock_guard<std::mutex> guard(FSendLock);
    // A notice posted by the reset of an earlier open names another handle;
    // it must not complete a header sent since at the same address.
    const TMidiPortState state = State();
    if (state != mpsOpen && state != mpsClosing) return;
    if (reinterpret_cast<WPARAM>(FHandle) != Message.WParam) return;
    auto found = std::find(FPendingHeaders.begin(), FPendingHeaders.end(), header);
    if (found == FPendingHeaders.end()) return;
    // The handle value and the header's address can both come back after a
    // close (Wine reuses both): a header that the device has not marked done
    // is still the device's, whatever the notice says.
    if ((header->dwFlags & MHDR_DONE) == 0) return;
    FPendingHeaders.erase(found);
  }
  DoLongDone(header);
  ReleaseHeader(header, true);
}
