#include "engine/MidiOutMessage.h"

#include <cstring>

#include "engine/Exceptions.h"
#include "engine/ShortMessagePool.h"
#include "engine/VelmoraEngine.h"
#include "midi/MidiIO.h"
#include "platform/Platform.h"

namespace {
// About a century, later than any message's due time.
constexpr TDateTime TerminusDistance = 36524.22;
constexpr std::int32_t NoDevice = -1;

TShortMessagePool& ShortMessagePool() {
  static TShortMessagePool pool(sizeof(TMidiOutShortMessage));
  return pool;
}
}  // namespace

TMidiOutMessage::~TMidiOutMessage() { Unlink(); }

void TMidiOutMessage::Unlink() {
  // The node's own links are left as they are.
  if (Prev) Prev->Next = Next;
  if (Next) Next->Prev = Prev;
}

void TMidiOutMessage::InsertAfter(TMidiOutMessage* Message) {
  Message->Next = Next;
  Message->Prev = this;
  Next->Prev = Message;
  Next = Message;
}

void TMidiOutMessage::InsertBefore(TMidiOutMessage* Message) {
  Message->Next = this;
  Message->Prev = Prev;
  Prev->Next = Message;
  Prev = Message;
}

void TMidiOutMessage::Free() { delete this; }

TMidiOutShortMessage::TMidiOutShortMessage(DWORD Data)
    : Channel(static_cast<std::uint8_t>(Data & 0x0F)),
      Data(Data),
      Device(GlobalEngine->ChannelDevices(Channel)) {
  // The delay is read before Now.
  const TDateTime delay = Device >= 0 ? GlobalEngine->DelayTimes(Device) : 0.0;
  DueTime = platform::Now() + delay;
}

TMidiOutShortMessage::TMidiOutShortMessage(DWORD Data, TDateTime Due)
    : TMidiOutShortMessage(Data, NoDevice, Due) {}

TMidiOutShortMessage::TMidiOutShortMessage(DWORD Data, std::int32_t Device, TDateTime Due)
    : Channel(static_cast<std::uint8_t>(Data & 0x0F)), Data(Data), Device(Device) {
  DueTime = Due;
}

void* TMidiOutShortMessage::operator new(std::size_t Size) {
  static_assert(sizeof(TMidiOutShortMessage) <= 64, "a queued short message stays small");
  (void)Size;  // the class is final: always one block
  return ShortMessagePool().Take();
}

void TMidiOutShortMessage::operator delete(void* Block) noexcept {
  if (Block != nullptr) ShortMessagePool().Give(Block);
}

void TMidiOutShortMessage::ReleaseIdlePool() { ShortMessagePool().ReleaseIfIdle(); }

void TMidiOutShortMessage::Send() {
  // Looked up again now: a channel remapped while the message waited sends
  // it to the new device.
  const std::int32_t device = GlobalEngine->ChannelDevices(Channel);
  if (device < 0 || device >= GlobalEngine->MidiOutCount()) return;
  GlobalEngine->MidiOuts(device).SendShort(Data);  // result ignored: a closed device drops it
}

TMidiOutLongMessage::TMidiOutLongMessage(const void* Bytes, std::int32_t Length)
    : Size(Length > 0 ? Length : 0), Buffer(nullptr) {
  if (Size > 0) {
    Buffer = platform::ProcessHeapAlloc(static_cast<std::size_t>(Size));
    // A heap that refuses leaves an empty message: it is queued and sends
    // nothing, which is what a failed send would do anyway.
    if (Buffer == nullptr) {
      Size = 0;
    } else {
      std::memcpy(Buffer, Bytes, static_cast<std::size_t>(Size));
    }
  }
  DueTime = platform::Now();
}

TMidiOutLongMessage::~TMidiOutLongMessage() {
  if (Buffer) platform::ProcessHeapFree(Buffer);
}

void TMidiOutLongMessage::Send() {
  if (Size == 0) return;
  const std::int32_t count = GlobalEngine->MidiOutCount();
  for (std::int32_t i = 0; i < count; ++i) GlobalEngine->MidiOuts(i).SendLong(Buffer, Size);
}

void TSingularNode::Send() { throw Exception("This object cannot send message."); }

void TSingularNode::Free() { throw Exception("This object cannot Free()."); }

void TSingularNode::ForceDestroy() { delete this; }

TPrimordialNode::TPrimordialNode() { DueTime = 0.0; }

void TPrimordialNode::InsertBefore(TMidiOutMessage*) {
  throw EListError("Cannot add node before this object.");
}

TTerminusNode::TTerminusNode() { DueTime = platform::Now() + TerminusDistance; }

void TTerminusNode::InsertAfter(TMidiOutMessage*) {
  throw EListError("Cannot add node after this object.");
}
