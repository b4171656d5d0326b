// Velmora as a user has it: the program body with its windows over the real
// backend, started to its first idle moment with no settings file, the main
// window on screen with its lamps flickering, then given the timer interval
// and the routes of a measurement. Its settings file is removed when it goes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/windows/VelmoraUnderTest.h"

class TVelmoraProgram;

namespace bench {

class TVelmoraWindowUnderTest {
 public:
  TVelmoraWindowUnderTest(std::int32_t TimerIntervalMs, const std::vector<TRoute>& Routes);
  ~TVelmoraWindowUnderTest();
  TVelmoraWindowUnderTest(const TVelmoraWindowUnderTest&) = delete;
  TVelmoraWindowUnderTest& operator=(const TVelmoraWindowUnderTest&) = delete;

 private:
  std::unique_ptr<TVelmoraProgram> FProgram;
};

}  // namespace bench
