// Velmora's engine brought up as the program brings it up (settings path
// with no settings file, device catalogue, engine, Start), then given the
// timer interval and the routes of a measurement; taken down again, and its
// settings file removed, when it goes.
#pragma once

#include <cstdint>
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

 private:
  std::vector<std::int64_t> FTakenAt;  // main thread only
};

}  // namespace bench
