#include "VirtualMidiController.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace vmidi {

constexpr auto CommandTimeout = std::chrono::seconds(10);

DWORD OutputRecord::Packed() const {
  DWORD packed = 0;
  for (std::size_t i = 0; i < Bytes.size() && i < 3; ++i) packed |= static_cast<DWORD>(Bytes[i]) << (8 * i);
  return packed;
}

Controller::Controller() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
}

Controller::~Controller() {
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
  if (link_ != INVALID_SOCKET) {
    shutdown(link_, SD_BOTH);
    closesocket(link_);
  }
  if (receiver_.joinable()) receiver_.join();
  WSACleanup();
}

bool Controller::Listen() {
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 1) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return false;
  port_ = ntohs(address.sin_port);
  return true;
}

bool Controller::AcceptDriver(DWORD TimeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(listener_, &readable);
  timeval timeout{static_cast<long>(TimeoutMs / 1000), static_cast<long>((TimeoutMs % 1000) * 1000)};
  if (select(0, &readable, nullptr, nullptr, &timeout) != 1) return false;
  link_ = accept(listener_, nullptr, nullptr);
  if (link_ == INVALID_SOCKET) return false;
  BOOL noDelay = TRUE;
  setsockopt(link_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);

  // The hello comes first; read it here so the counts are known on return.
  std::vector<std::uint8_t> body;
  char buffer[256];
  while (!splitter_.Next(body)) {
    const int n = recv(link_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    splitter_.Feed(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(n));
  }
  FrameReader hello(body.data(), body.size());
  if (hello.U8() != static_cast<std::uint8_t>(Report::Hello) || hello.U32() != ProtocolVersion) return false;
  inputs_ = hello.U32();
  outputs_ = hello.U32();
  receiver_ = std::thread([this] { ReceiveLoop(); });
  return true;
}

void Controller::ReceiveLoop() {
  std::vector<std::uint8_t> body;
  std::vector<char> buffer(65536);
  for (;;) {
    // Frames that came in with the hello are in the splitter already.
    while (splitter_.Next(body)) {
      FrameReader reader(body.data(), body.size());
      const auto type = static_cast<Report>(reader.U8());
      std::lock_guard<std::mutex> guard(lock_);
      switch (type) {
        case Report::Ack: {
          const std::uint32_t sequence = reader.U32();
          Ack ack;
          ack.Received = true;
          ack.Value = reader.U32();
          ack.Qpc = reader.I64();
          acks_[sequence] = ack;
          break;
        }
        case Report::OutputData: {
          OutputRecord record;
          record.Device = reader.U8();
          record.Long = reader.U8() != 0;
          record.Qpc = reader.I64();
          record.Bytes = reader.Rest();
          received_.push_back(std::move(record));
          break;
        }
        case Report::DeviceEvent: {
          EventRecord record;
          record.Dir = static_cast<Direction>(reader.U8());
          record.Device = reader.U8();
          record.Kind = static_cast<DeviceEventKind>(reader.U8());
          record.Qpc = reader.I64();
          events_.push_back(record);
          break;
        }
        default:
          break;
      }
      changed_.notify_all();
    }
    const int n = recv(link_, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (n <= 0) break;
    splitter_.Feed(reinterpret_cast<const std::uint8_t*>(buffer.data()), static_cast<std::size_t>(n));
  }
  std::lock_guard<std::mutex> guard(lock_);
  linkClosed_ = true;
  changed_.notify_all();
}

Ack Controller::Call(FrameWriter&& Fields) {
  std::uint32_t sequence;
  {
    std::lock_guard<std::mutex> guard(lock_);
    sequence = nextSequence_++;
  }
  std::vector<std::uint8_t> frame = Fields.Take();
  // The sequence number follows the type byte: patch it in.
  std::memcpy(frame.data() + 5, &sequence, 4);
  {
    std::lock_guard<std::mutex> guard(sendLock_);
    std::size_t sent = 0;
    while (sent < frame.size()) {
      const int n = send(link_, reinterpret_cast<const char*>(frame.data() + sent),
                         static_cast<int>(frame.size() - sent), 0);
      if (n <= 0) return {};
      sent += static_cast<std::size_t>(n);
    }
  }
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait_for(guard, CommandTimeout, [&] { return linkClosed_ || acks_.count(sequence) != 0; });
  const auto found = acks_.find(sequence);
  if (found == acks_.end()) return {};
  const Ack ack = found->second;
  acks_.erase(found);
  return ack;
}

namespace {
FrameWriter CommandFrame(Command Command) {
  FrameWriter writer(static_cast<std::uint8_t>(Command));
  writer.U32(0);  // sequence, filled in by Call
  return writer;
}
}  // namespace

Ack Controller::InjectShort(int Device, DWORD Message) {
  return Call(std::move(CommandFrame(Command::InjectShort).U8(static_cast<std::uint8_t>(Device)).U32(Message)));
}

Ack Controller::InjectSysEx(int Device, const std::vector<std::uint8_t>& Bytes) {
  return Call(std::move(CommandFrame(Command::InjectSysEx).U8(static_cast<std::uint8_t>(Device)).Bytes(Bytes.data(), Bytes.size())));
}

bool Controller::SetRefuseOpen(Direction Direction, int Device, bool On) {
  return Call(std::move(CommandFrame(Command::SetRefuseOpen)
                                                    .U8(static_cast<std::uint8_t>(Direction))
                                                    .U8(static_cast<std::uint8_t>(Device))
                                                    .U8(On ? 1 : 0)))
             .Value == 1;
}

bool Controller::SetHoldLong(int Device, bool On) {
  return Call(std::move(CommandFrame(Command::SetHoldLong).U8(static_cast<std::uint8_t>(Device)).U8(On ? 1 : 0)))
             .Value == 1;
}

bool Controller::SetUnplugged(int Device, bool On) {
  return Call(std::move(CommandFrame(Command::SetUnplugged).U8(static_cast<std::uint8_t>(Device)).U8(On ? 1 : 0)))
             .Value == 1;
}

std::uint32_t Controller::CompleteHeld(int Device) {
  return Call(std::move(CommandFrame(Command::CompleteHeld).U8(static_cast<std::uint8_t>(Device)))).Value;
}

bool Controller::Sync() { return Call(CommandFrame(Command::Ping)).Received; }

std::vector<OutputRecord> Controller::Received(int Device) const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<OutputRecord> records;
  for (const auto& r : received_)
    if (r.Device == Device) records.push_back(r);
  return records;
}

std::vector<EventRecord> Controller::Events() const {
  std::lock_guard<std::mutex> guard(lock_);
  return events_;
}

std::size_t Controller::OutputEvents(int Device, DeviceEventKind kind) const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<std::size_t>(std::count_if(events_.begin(), events_.end(), [&](const EventRecord& e) {
    return e.Dir == Direction::Output && e.Device == Device && e.Kind == kind;
  }));
}

void Controller::ClearRecords() {
  std::lock_guard<std::mutex> guard(lock_);
  received_.clear();
  events_.clear();
}

}  // namespace vmidi
