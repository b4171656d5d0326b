// The test's end of the virtual MIDI driver's control channel: listens on
// 127.0.0.1, accepts the driver's connection, records everything the
// driver reports (what each output device received, with its
// QueryPerformanceCounter time, and the devices' opens, closes and resets)
// and sends it commands (inject input, refuse opens, hold long messages).
// Commands wait for the driver's acknowledgement; they never pump messages.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/FrameCodec.h"
#include "driver/VirtualMidiProtocol.h"

namespace vmidi {

struct OutputRecord {
  int Device = 0;
  bool Long = false;
  std::int64_t Qpc = 0;
  std::vector<std::uint8_t> Bytes;
  // The short message in the system's packing (status in the low byte).
  DWORD Packed() const;
};

struct EventRecord {
  Direction Dir = Direction::Output;
  int Device = 0;
  DeviceEventKind Kind = DeviceEventKind::Opened;
  std::int64_t Qpc = 0;
};

struct Ack {
  bool Received = false;
  std::uint32_t Value = 0;
  std::int64_t Qpc = 0;  // when the driver carried the command out
};

class Controller {
 public:
  Controller();
  ~Controller();
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  bool Listen();                 // on 127.0.0.1, a port the system picks
  std::uint16_t Port() const { return port_; }
  bool AcceptDriver(DWORD TimeoutMs);  // the driver's connection and its hello
  std::uint32_t InputCount() const { return inputs_; }
  std::uint32_t OutputCount() const { return outputs_; }

  Ack InjectShort(int Device, DWORD Message);
  Ack InjectSysEx(int Device, const std::vector<std::uint8_t>& Bytes);
  bool SetRefuseOpen(Direction Direction, int Device, bool On);
  bool SetHoldLong(int Device, bool On);
  bool SetUnplugged(int Device, bool On);
  std::uint32_t CompleteHeld(int Device);
  // Returns once the driver has carried out every earlier command and sent
  // every earlier report.
  bool Sync();

  std::vector<OutputRecord> Received(int Device) const;
  std::vector<EventRecord> Events() const;
  // How many events of one kind an output device reported (call Sync first).
  std::size_t OutputEvents(int Device, DeviceEventKind Kind) const;
  void ClearRecords();

 private:
  Ack Call(FrameWriter&& Frame);
  void ReceiveLoop();

  SOCKET listener_ = INVALID_SOCKET;
  SOCKET link_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  std::uint32_t inputs_ = 0;
  std::uint32_t outputs_ = 0;
  FrameSplitter splitter_;  // receiving thread only, after the hello
  std::thread receiver_;
  std::mutex sendLock_;  // one command frame at a time on the socket

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::uint32_t nextSequence_ = 1;               // guarded by lock_
  std::map<std::uint32_t, Ack> acks_;            // guarded by lock_
  std::vector<OutputRecord> received_;           // guarded by lock_
  std::vector<EventRecord> events_;              // guarded by lock_
  bool linkClosed_ = false;                      // guarded by lock_
};

}  // namespace vmidi
