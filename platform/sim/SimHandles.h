// Fake device handles: non-null, distinct for every open in the life of the
// process, so a notice that names an earlier open is always recognisable.
#pragma once

#include <atomic>
#include <cstdint>

namespace sim {

inline std::uintptr_t NewDeviceHandle() {
  static std::atomic<std::uintptr_t> opens{0};  // atomic: opens happen on any thread
  constexpr std::uintptr_t FirstHandle = 0x00D10000;
  constexpr std::uintptr_t HandleStep = 0x10;
  return FirstHandle + HandleStep * opens.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace sim
