#include "VirtualMidiEnvironment.h"  // winsock2.h before windows.h
#include "bench/windows/WineMeasurement.h"

#include <cstdio>
#include <cstdlib>

#include "bench/Markdown.h"


namespace bench {

bool StartVirtualDevices() {
  if (StartVirtualMidi()) return true;
  std::fprintf(stderr, "the virtual MIDI driver is not loaded (VELMORA_WINE_AUDIO=vmidi under Wine)\n");
  return false;
}

bool ParseWineOptions(int Argc, char** Argv, const char* Program, int DefaultRuns, TWineOptions& Options) {
  const std::string runs = Option(Argc, Argv, "runs");
  const std::string messages = Option(Argc, Argv, "messages");
  Options.Runs = runs.empty() ? DefaultRuns : std::atoi(runs.c_str());
  Options.Messages = messages.empty() ? 1000 : std::strtoul(messages.c_str(), nullptr, 10);
  Options.Markdown = Option(Argc, Argv, "markdown");
  Options.Summary = Option(Argc, Argv, "summary");
  if (Options.Runs >= 1 && Options.Messages >= 10) return true;
  std::fprintf(stderr, "usage: %s [--runs=N>=1] [--messages=N>=10] [--markdown=file] [--summary=file]\n", Program);
  return false;
}

int RunWineBenchmark(int Argc, char** Argv, const char* Program, int DefaultRuns, TWineMeasure Measure) {
  TWineOptions options;
  if (!ParseWineOptions(Argc, Argv, Program, DefaultRuns, options)) return 2;
  if (!StartVirtualDevices()) return 1;
  return Measure(options, *VirtualMidi());
}

std::string Figures(const TLatencySummary& Summary) {
  return Fixed(Summary.P50, 3) + " / " + Fixed(Summary.P99, 3) + " / " + Fixed(Summary.Max, 3);
}

std::string SystemUnderneath() {
  // Only Wine's ntdll has it.
  using WineVersion = const char* (*)();
  if (FARPROC found = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
    return std::string("Wine ") + reinterpret_cast<WineVersion>(reinterpret_cast<void*>(found))();
  return "Windows";
}

}  // namespace bench
