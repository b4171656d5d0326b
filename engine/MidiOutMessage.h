// The nodes of the queue of outgoing messages: an intrusive doubly linked
// list closed at both ends by sentinels that refuse to be freed, sent or
// linked past. Freeing a node unlinks it from whatever list it is in.
#pragma once

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
  TMidiOutShortMessage(DWORD Data, TDateTime Due);
  void Send() override;

  std::uint8_t Channel;
  DWORD Data;
};

class TMidiOutLongMessage final : public TMidiOutMessage {
 public:
  // Copies Length bytes into a process-heap block of its own; due at once.
  TMidiOutLongMessage(const void* Bytes, std::int32_t Length);
  ~TMidiOutLongMessage() override;
  void Send() override;

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
