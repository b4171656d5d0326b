#include "midi/MidiInput.h"

#include "midi/DriverHeldBlocks.h"
#include "platform/Platform.h"

namespace {
constexpr UINT HeaderSize = sizeof(MIDIHDR);
}

TMidiInput::TMidiInput() = default;

TMidiInput::~TMidiInput() { Close(); }

bool TMidiInput::Open(std::int32_t Index) {
  if (State() != mpsClosed) Close();
  SetDeviceIndex(Index < 0 ? -1 : Index);
  SetState(mpsOpening);

  bool ok = platform::midiInOpen(&FHandle, static_cast<UINT>(DeviceIndex()), NoticeTarget(), 0,
                                 CALLBACK_WINDOW) == MMSYSERR_NOERROR;
  for (int slot = 0; ok && slot < SysExBufferCount; ++slot) {
    FSysExHeaders[slot] = static_cast<MIDIHDR*>(platform::ProcessHeapAlloc(HeaderSize));
    FSysExBlocks[slot] = FSysExHeaders[slot] ? platform::ProcessHeapAlloc(SysExBufferSize) : nullptr;
    ok = FSysExBlocks[slot] != nullptr;
    if (!ok) break;
    MIDIHDR& header = *FSysExHeaders[slot];
    header.lpData = static_cast<LPSTR>(FSysExBlocks[slot]);
    header.dwBufferLength = SysExBufferSize;
    header.dwFlags = 0;
    ok = platform::midiInPrepareHeader(FHandle, &header, HeaderSize) == MMSYSERR_NOERROR &&
         platform::midiInAddBuffer(FHandle, &header, HeaderSize) == MMSYSERR_NOERROR;
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
  SetState(mpsClosing);
  // Results deliberately not examined, but for the one that tells whether
  // the driver still holds a buffer.
  platform::midiInStop(FHandle);
  platform::midiInReset(FHandle);
  std::array<bool, SysExBufferCount> stillHeld{};
  for (int slot = 0; slot < SysExBufferCount; ++slot) {
    if (FSysExBlocks[slot] == nullptr) continue;
    stillHeld[slot] = platform::midiInUnprepareHeader(FHandle, FSysExHeaders[slot], HeaderSize) ==
                      MIDIERR_STILLPLAYING;
  }
  platform::midiInClose(FHandle);
  for (int slot = 0; slot < SysExBufferCount; ++slot) {
    // A buffer the driver would not give back (its reset failed, as a
    // vanished device answers) is kept rather than freed; every block is
    // released once at most.
    void* blocks[] = {FSysExBlocks[slot], FSysExHeaders[slot]};
    for (void* block : blocks) {
      if (block == nullptr) continue;
      if (stillHeld[slot]) {
        KeepBlockForDriver(block);
      } else {
        platform::ProcessHeapFree(block);
      }
    }
    FSysExBlocks[slot] = nullptr;
    FSysExHeaders[slot] = nullptr;
  }
  SetState(mpsClosed);
  FHandle = nullptr;
  SetDeviceIndex(-2);
}

int TMidiInput::HeaderSlot(LPARAM address) const {
  for (int slot = 0; slot < SysExBufferCount; ++slot) {
    if (FSysExBlocks[slot] != nullptr && reinterpret_cast<LPARAM>(FSysExHeaders[slot]) == address)
      return slot;
  }
  return -1;
}

void TMidiInput::HandBack(MIDIHDR& header) {
  // The header is still prepared; results deliberately not examined.
  platform::midiInPrepareHeader(FHandle, &header, HeaderSize);
  platform::midiInAddBuffer(FHandle, &header, HeaderSize);
}

void TMidiInput::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case MM_MIM_DATA:
      if (OnData) OnData(*this, static_cast<DWORD>(Message.LParam));
      break;
    case MM_MIM_LONGDATA: {
      // A notice posted by the reset of a close arrives late, possibly after
      // a new open: act only on notices of the current handle while the
      // device is open, and only for one of this port's own headers. With
      // several buffers queued, a notice without a header (LParam 0) names
      // none of them, so there is nothing to pass on or hand back.
      const TMidiPortState state = State();
      if (state != mpsOpen && state != mpsClosing) break;
      if (Message.WParam != reinterpret_cast<WPARAM>(FHandle)) break;
      const int slot = HeaderSlot(Message.LParam);
      if (slot < 0) break;
      MIDIHDR& header = *FSysExHeaders[slot];
      // Handle values and header addresses can both come back after a close
      // (Wine reuses both): a buffer that the device has not marked done is
      // still queued in it, and its bytes are not complete yet.
      if ((header.dwFlags & MHDR_DONE) == 0) break;
      const HMIDIIN handle = FHandle;
      if (OnLongData) {
        OnLongData(*this, reinterpret_cast<const std::uint8_t*>(header.lpData),
                   static_cast<std::int32_t>(header.dwBytesRecorded));
      }
      // The listener may have pumped messages and closed the port meanwhile.
      if ((State() == mpsOpen || State() == mpsClosing) && FHandle == handle) HandBack(header);
      break;
    }
    default:
      break;
  }
}
