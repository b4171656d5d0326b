// What every measurement under Wine starts with: the virtual MIDI driver
// loaded (winmm reads its device list once, so before anything else touches
// MIDI), and the Wine version for the report.
#pragma once

#include <cstddef>
#include <string>

#include "bench/LatencySummary.h"

namespace vmidi {
class Controller;
}

namespace bench {

// The options every such program takes:
//   [--runs=N] [--messages=N] [--markdown=file] [--summary=file]
struct TWineOptions {
  int Runs = 0;
  std::size_t Messages = 0;  // per run and program
  std::string Markdown;      // the report section is appended here
  std::string Summary;       // and the target rows here
};
// False, with the usage on stderr, for values out of range.
bool ParseWineOptions(int Argc, char** Argv, const char* Program, int DefaultRuns, TWineOptions& Options);

// The body of such a program: parses its options, brings the virtual
// devices up, then runs Measure; 2 for bad options, 1 without the driver.
using TWineMeasure = int (*)(const TWineOptions& Options, vmidi::Controller& Driver);
int RunWineBenchmark(int Argc, char** Argv, const char* Program, int DefaultRuns, TWineMeasure Measure);

// "p50 / p99 / max" in milliseconds, as the tables show them.
std::string Figures(const TLatencySummary& Summary);

// False, with the reason on stderr, when the driver is not loaded.
bool StartVirtualDevices();
// "Wine 8.0", or "Windows" where no Wine is underneath.
std::string SystemUnderneath();

}  // namespace bench
