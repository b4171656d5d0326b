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
  // Use this, not delete, for queue nodes: a sentinel refuses to be freed.
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
  // For the device that the channel maps to now, due at Now plus its delay.
  explicit TMidiOutShortMessage(DWORD Data);
  // For the device that the channel maps to now, due at Due.
  TMidiOutShortMessage(DWORD Data, TDateTime Due);
  // For Device while its port is in the open that Generation names.
  TMidiOutShortMessage(DWORD Data, std::int32_t Device, TDateTime Due, std::uint32_t Generation = 0);
  ~TMidiOutShortMessage() override;
  // Sends to Device, and only while its port is still in the same open.
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
  std::int32_t Device;  // the engine's device slot, decided at arrival; NoDevice sends nowhere
  std::uint32_t Generation;

 private:
  bool CountedByDevice() const;
};

class TMidiOutLongMessage final : public TMidiOutMessage {
 public:
  // Copies Length bytes into a process-heap block of its own; due at once.
  TMidiOutLongMessage(const void* Bytes, std::int32_t Length);
  ~TMidiOutLongMessage() override;
  // A lone F7, due at once, for the devices that took the first part of a
  // system-exclusive message whose end will never come.
  static TMidiOutLongMessage* EndOfCutMessage();
  void Send() override;
  std::int32_t InsertionRun() const override { return SystemExclusiveRun; }

  std::int32_t Size;
  void* Buffer;

 private:
  bool FEndsCutMessage = false;
  std::uint32_t FPanics = 0;  // the engine's count when queued; a panic since drops it
  std::int32_t FSlots = 0;    // the engine's devices when queued: those it waits for and goes to
};

class TSingularNode : public TMidiOutMessage {
 public:
  // A sentinel only bounds the list: sending or freeing one is a fault of
  // the queue's code, so both throw.
  void Send() override;
  void Free() override;
  void ForceDestroy();  // the only way a sentinel goes
};

class TPrimordialNode final : public TSingularNode {
 public:
  TPrimordialNode();
  void InsertBefore(TMidiOutMessage* Message) override;  // throws: nothing goes before the head
};

class TTerminusNode final : public TSingularNode {
 public:
  TTerminusNode();
  void InsertAfter(TMidiOutMessage* Message) override;  // throws: nothing goes after the tail
};
