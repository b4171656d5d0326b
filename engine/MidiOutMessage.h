// The nodes of the queue of outgoing messages: an intrusive doubly linked
// list closed at both ends by sentinels that refuse to be freed, sent or
// linked past. Freeing a node unlinks it from whatever list it is in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/DateTime.h"
#include "platform/MmSystem.h"

class TMidiOutMessage {
 public:
  TMidiOutMessage() = default;
  virtual ~TMidiOutMessage();
  TMidiOutMessage(const TMidiOutMessage&) = delete;
  TMidiOutMessage& operator=(const TMidiOutMessage&) = delete;

  virtual void InsertAfter(TMidiOutMessage* Message);
  virtual void InsertBefore(TMidiOutMessage* Message);
  virtual void Send() = 0;
  // Frees the node the way the design frees objects: through the class's own
  // rule (sentinels refuse). Use this, not delete, for queue nodes.
  virtual void Free();

  // The run of arrivals the message belongs to, for the queue's insertion:
  // within a run, due times come in arrival order. NoRun: none known.
  static constexpr std::int32_t NoRun = -1;
  static constexpr std::int32_t SystemExclusiveRun = 0;
  virtual std::int32_t InsertionRun() const { return NoRun; }

  TMidiOutMessage* Next = nullptr;
  TMidiOutMessage* Prev = nullptr;
  TDateTime DueTime = 0.0;

 protected:
  void Unlink();
};

class TMidiOutShortMessage final : public TMidiOutMessage {
 public:
  // Channel from the status byte; due at Now plus the delay of the device
  // that the channel maps to.
  explicit TMidiOutShortMessage(DWORD Data);
  TMidiOutShortMessage(DWORD Data, TDateTime Due);  // no device known
  TMidiOutShortMessage(DWORD Data, std::int32_t Device, TDateTime Due);
  void Send() override;
  // Each device's arrivals form one run (the system-exclusive run comes first).
  std::int32_t InsertionRun() const override { return Device >= 0 ? Device + 1 : NoRun; }

  // Made on the main thread, freed on the timer thread: from a pool of
  // their own, so that the timer thread never calls the allocator.
  static void* operator new(std::size_t Size);
  static void operator delete(void* Block) noexcept;
  // Frees every block of the pool when no short message lives (at the
  // engine's end); main thread.
  static void ReleaseIdlePool();

  std::uint8_t Channel;
  DWORD Data;
  std::int32_t Device;  // the output device decided at arrival; -1 when none is known
};

class TMidiOutLongMessage final : public TMidiOutMessage {
 public:
  // Copies Length bytes into a process-heap block of its own; due at once.
  TMidiOutLongMessage(const void* Bytes, std::int32_t Length);
  ~TMidiOutLongMessage() override;
  void Send() override;
  std::int32_t InsertionRun() const override { return SystemExclusiveRun; }

  std::int32_t Size;
  void* Buffer;
};

class TSingularNode : public TMidiOutMessage {
 public:
  void Send() override;  // throws "This object cannot send message."
  void Free() override;  // throws "This object cannot Free()."
  void ForceDestroy();   // the only way a sentinel goes
};

class TPrimordialNode final : public TSingularNode {
 public:
  TPrimordialNode();
  void InsertBefore(TMidiOutMessage* Message) override;  // throws
};

class TTerminusNode final : public TSingularNode {
 public:
  TTerminusNode();
  void InsertAfter(TMidiOutMessage* Message) override;  // throws
};
