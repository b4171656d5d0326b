// Building and reading the frames of the control channel
// (VirtualMidiProtocol.h): little-endian fields, a length prefix per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vmidi {

class FrameWriter {
 public:
  explicit FrameWriter(std::uint8_t Type) {
    bytes_.reserve(64);
    bytes_.assign(4, 0);
    U8(Type);
  }
  FrameWriter& U8(std::uint8_t V) { return Raw(&V, 1); }
  FrameWriter& U32(std::uint32_t V) { return Raw(&V, 4); }
  FrameWriter& I64(std::int64_t V) { return Raw(&V, 8); }
  FrameWriter& Bytes(const void* Data, std::size_t Length) { return Raw(Data, Length); }
  // The finished frame, its length prefix filled in.
  std::vector<std::uint8_t> Take() {
    const auto length = static_cast<std::uint32_t>(bytes_.size() - 4);
    std::memcpy(bytes_.data(), &length, 4);
    return std::move(bytes_);
  }

 private:
  FrameWriter& Raw(const void* Data, std::size_t Length) {
    // Grown, then copied: GCC 12 warns wrongly about vector::insert of a
    // few bytes. x86-64 is little endian, so fields go as they are.
    const std::size_t at = bytes_.size();
    bytes_.resize(at + Length);
    if (Length > 0) std::memcpy(bytes_.data() + at, Data, Length);
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
};

// Reads the fields of one frame body (after the length prefix). Reading past
// the end yields zeros and marks the reader as failed.
class FrameReader {
 public:
  FrameReader(const std::uint8_t* Data, std::size_t Length) : data_(Data), length_(Length) {}
  std::uint8_t U8() { std::uint8_t v = 0; Raw(&v, 1); return v; }
  std::uint32_t U32() { std::uint32_t v = 0; Raw(&v, 4); return v; }
  std::int64_t I64() { std::int64_t v = 0; Raw(&v, 8); return v; }
  std::vector<std::uint8_t> Rest() {
    std::vector<std::uint8_t> rest(data_ + offset_, data_ + length_);
    offset_ = length_;
    return rest;
  }
  bool Failed() const { return failed_; }

 private:
  void Raw(void* Out, std::size_t N) {
    if (length_ - offset_ < N) { failed_ = true; offset_ = length_; return; }
    std::memcpy(Out, data_ + offset_, N);
    offset_ += N;
  }
  const std::uint8_t* data_;
  std::size_t length_;
  std::size_t offset_ = 0;
  bool failed_ = false;
};

// Splits a byte stream into frame bodies; Feed appends received bytes, Next
// hands out one complete body at a time.
class FrameSplitter {
 public:
  void Feed(const std::uint8_t* Data, std::size_t Length) { buffer_.insert(buffer_.end(), Data, Data + Length); }
  bool Next(std::vector<std::uint8_t>& Body) {
    if (buffer_.size() - start_ < 4) return Compact(), false;
    std::uint32_t length = 0;
    std::memcpy(&length, buffer_.data() + start_, 4);
    if (buffer_.size() - start_ - 4 < length) return Compact(), false;
    Body.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(start_ + 4),
                buffer_.begin() + static_cast<std::ptrdiff_t>(start_ + 4 + length));
    start_ += 4 + length;
    return true;
  }

 private:
  void Compact() {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;
};

}  // namespace vmidi
