// Velmora's engine brought up as the program brings it up (settings path
// with no settings file, device catalogue, engine, Start), then given the
// timer interval and the routes of a measurement; taken down again, and its
// settings file removed, when it goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <functional>
#include <vector>

#include "engine/Engine.h"

namespace bench {

struct TRoute {
  int Channel = 0;
  std::int32_t Device = 0;
};

class TVelmoraUnderTest {
 public:
  TVelmoraUnderTest(std::int32_t TimerIntervalMs, const std::vector<TRoute>& Routes,
                    const std::vector<std::int32_t>& DelaysMs);
  ~TVelmoraUnderTest();
  TVelmoraUnderTest(const TVelmoraUnderTest&) = delete;
  TVelmoraUnderTest& operator=(const TVelmoraUnderTest&) = delete;

  TVelmoraEngine& Engine() { return *GlobalEngine; }
  // The performance-counter time at which the engine took in each short
  // message, in arrival order (noted just before its input handler runs).
  const std::vector<std::int64_t>& TakenAt() const { return FTakenAt; }
  // How long the engine's input handler ran for each, in the same order
  // (performance-counter units): the routing, the held notes and, for a
  // message sent at once, the driver call.
  const std::vector<std::int64_t>& HandlerTimes() const { return FHandlerTimes; }
  // Timer ticks so far, periodic and wake-ups alike.
  std::uint64_t Ticks() const { return FTicks->load(std::memory_order_relaxed); }

 private:
  std::vector<std::int64_t> FTakenAt;       // main thread only
  std::vector<std::int64_t> FHandlerTimes;  // main thread only
  // Counted by the ticks; outlives the engine's last one.
  std::shared_ptr<std::atomic<std::uint64_t>> FTicks = std::make_shared<std::atomic<std::uint64_t>>(0);
};

}  // namespace bench
