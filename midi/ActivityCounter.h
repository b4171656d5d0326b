// Counts the messages a port passes, so that its lamp can flicker with them.
// Bumped on whichever thread sends or receives (the timer's or the main
// one); read by the windows' poll, which only asks whether it moved.
#pragma once

#include <atomic>
#include <cstdint>

class TActivityCounter {
 public:
  void Bump() { FCount.fetch_add(1, std::memory_order_relaxed); }
  std::uint32_t Count() const { return FCount.load(std::memory_order_relaxed); }

 private:
  // An atomic: a count that wraps round still differs from the last reading.
  std::atomic<std::uint32_t> FCount{0};
};
