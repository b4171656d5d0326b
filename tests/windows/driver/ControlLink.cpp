#include "ControlLink.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "FrameCodec.h"

namespace vmidi {

ControlLink::ControlLink(std::uint16_t Port, std::vector<std::uint8_t> Hello, FrameHandler Handler)
    : port_(Port), handler_(std::move(Handler)), outgoing_(std::move(Hello)) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  receiver_ = std::thread([this] { Receive(); });
  transmitter_ = std::thread([this] { Transmit(); });
}

void ControlLink::Shutdown() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
    if (socket_ != INVALID_SOCKET) closesocket(socket_);  // ends a blocked recv
    socket_ = INVALID_SOCKET;
  }
  wake_.notify_all();
  receiver_.detach();
  transmitter_.detach();
}

void ControlLink::Send(std::vector<std::uint8_t> Frame) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closing_) return;
    outgoing_.insert(outgoing_.end(), Frame.begin(), Frame.end());
  }
  wake_.notify_one();
}

void ControlLink::Receive() {
  // The controller listens before the program's first MIDI call, so a
  // refused connection only means it is not ready yet; give it a while.
  SOCKET s = INVALID_SOCKET;
  for (int attempt = 0; attempt < 200 && s == INVALID_SOCKET; ++attempt) {
    s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      closesocket(s);
      s = INVALID_SOCKET;
      Sleep(50);
    }
  }
  if (s == INVALID_SOCKET) return;
  BOOL noDelay = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closing_) {
      closesocket(s);
      return;
    }
    socket_ = s;
  }
  wake_.notify_one();

  FrameSplitter splitter;
  std::vector<std::uint8_t> body;
  char buffer[65536];
  for (;;) {
    const int received = recv(s, buffer, sizeof buffer, 0);
    if (received <= 0) break;
    splitter.Feed(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(received));
    while (splitter.Next(body)) handler_(body);
  }
}

void ControlLink::Transmit() {
  std::vector<std::uint8_t> sending;
  for (;;) {
    SOCKET s;
    {
      std::unique_lock<std::mutex> guard(lock_);
      wake_.wait(guard, [this] { return closing_ || (socket_ != INVALID_SOCKET && !outgoing_.empty()); });
      if (closing_) return;
      s = socket_;
      sending.swap(outgoing_);
    }
    std::size_t sent = 0;
    while (sent < sending.size()) {
      const int n = send(s, reinterpret_cast<const char*>(sending.data() + sent),
                         static_cast<int>(sending.size() - sent), 0);
      if (n <= 0) return;  // the controller has gone; what is left is dropped
      sent += static_cast<std::size_t>(n);
    }
    sending.clear();
  }
}

}  // namespace vmidi
