#include "engine/MidiOutMessage.h"

#include <cstring>

#include "engine/Exceptions.h"
#include "engine/ShortMessagePool.h"
#include "engine/VelmoraEngine.h"
#include "midi/MidiIO.h"
#include "midi/MidiMessages.h"
#include "platform/Platform.h"

namespace {
// About a century, later than any message's due time.
constexpr TDateTime TerminusDistance = 36524.22;

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

namespace {
std::int32_t DeviceOfChannel(DWORD Data) {
  return GlobalEngine ? GlobalEngine->ChannelSlot(midi::ChannelOf(Data)) : NoDevice;
}
std::uint32_t GenerationOf(std::int32_t Device) {
  return Device >= 0 ? GlobalEngine->OutputSlot(Device).Generation() : 0;
}
}  // namespace

TMidiOutShortMessage::TMidiOutShortMessage(DWORD Data)
    : TMidiOutShortMessage(Data, DeviceOfChannel(Data), 0.0, GenerationOf(DeviceOfChannel(Data))) {
  // The delay is read before Now.
  const TDateTime delay = Device >= 0 ? GlobalEngine->SlotDelayTime(Device) : 0.0;
  DueTime = platform::Now() + delay;
}

TMidiOutShortMessage::TMidiOutShortMessage(DWORD Data, TDateTime Due)
    : TMidiOutShortMessage(Data, DeviceOfChannel(Data), Due, GenerationOf(DeviceOfChannel(Data))) {}

TMidiOutShortMessage::TMidiOutShortMessage(DWORD Data, std::int32_t Device, TDateTime Due,
                                           std::uint32_t Generation)
    : Channel(midi::ChannelOf(Data)), Data(Data), Device(Device), Generation(Generation) {
  DueTime = Due;
  if (CountedByDevice()) GlobalEngine->OutputSlot(Device).MessageWaiting();
}

TMidiOutShortMessage::~TMidiOutShortMessage() {
  if (CountedByDevice()) GlobalEngine->OutputSlot(Device).MessageDone();
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

// Messages made for the engine's devices; a queue used on its own (tests,
// benchmarks) has no engine to count with.
bool TMidiOutShortMessage::CountedByDevice() const {
  return Device >= 0 && GlobalEngine != nullptr && Device < GlobalEngine->SlotCount();
}

void TMidiOutShortMessage::Send() {
  if (Device < 0 || Device >= GlobalEngine->SlotCount()) return;
  // Result ignored: a closed device, or one closed since, drops it.
  GlobalEngine->OutputSlot(Device).SendShortScheduled(Data, Generation);
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
  if (GlobalEngine) FPanics = GlobalEngine->Panics();
  // A block goes to every device known now, so it waits for every one of them.
  if (GlobalEngine) FSlots = GlobalEngine->SlotCount();
  for (std::int32_t i = 0; i < FSlots; ++i) GlobalEngine->OutputSlot(i).MessageWaiting();
}

TMidiOutLongMessage::~TMidiOutLongMessage() {
  if (Buffer) platform::ProcessHeapFree(Buffer);
  for (std::int32_t i = 0; i < FSlots; ++i) GlobalEngine->OutputSlot(i).MessageDone();
}

TMidiOutLongMessage* TMidiOutLongMessage::EndOfCutMessage() {
  auto* message = new TMidiOutLongMessage(&midi::EndOfExclusive, 1);
  message->FEndsCutMessage = true;
  return message;
}

void TMidiOutLongMessage::Send() {
  if (Size == 0 || FPanics != GlobalEngine->Panics()) return;
  for (std::int32_t i = 0; i < FSlots; ++i) {
    if (FEndsCutMessage) {
      GlobalEngine->OutputSlot(i).EndUnfinishedSysEx();
    } else {
      GlobalEngine->OutputSlot(i).SendLong(Buffer, Size);
    }
  }
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
