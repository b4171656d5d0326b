// The driver's end of the control channel: connects to the controller on
// 127.0.0.1, hands every received frame body to a handler on its receiving
// thread, and sends queued frames from a thread of its own, so the threads
// that call the driver (the program's timer thread among them) never wait on
// the network.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vmidi {

class ControlLink {
 public:
  using FrameHandler = std::function<void(const std::vector<std::uint8_t>& Body)>;

  // Starts connecting to 127.0.0.1:port; hello is the first frame sent once
  // connected.
  ControlLink(std::uint16_t Port, std::vector<std::uint8_t> Hello, FrameHandler Handler);
  // The object lives until the process ends: the driver is freed while the
  // process exits, when its threads can no longer be joined safely, so
  // Shutdown only closes the connection and lets the threads run out.
  ~ControlLink() = delete;
  void Shutdown();
  ControlLink(const ControlLink&) = delete;
  ControlLink& operator=(const ControlLink&) = delete;

  // Queues a frame; any thread, never blocks on the network.
  void Send(std::vector<std::uint8_t> Frame);

 private:
  void Receive();
  void Transmit();

  const std::uint16_t port_;
  FrameHandler handler_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::vector<std::uint8_t> outgoing_;  // guarded by lock_
  std::uintptr_t socket_ = ~std::uintptr_t{0};  // guarded by lock_ (INVALID_SOCKET until connected)
  bool closing_ = false;  // guarded by lock_
  std::thread receiver_;
  std::thread transmitter_;
};

}  // namespace vmidi
