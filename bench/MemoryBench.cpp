// Memory per queued short message, allocator included, and the process's
// peak memory with 1 000 000 messages queued. The messages arrive on the
// simulated input and go through the engine's own input handler, so the
// figure is whatever the route keeps per waiting message.
//
//   velmora_bench_memory [--markdown=<file>] [--summary=<file>] [--messages=<count>]
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "bench/AllocationCounter.h"
#include "bench/BenchMachine.h"
#include "bench/Markdown.h"
#include "engine/MidiOutMessage.h"
#include "engine/ShortMessagePool.h"
#include "platform/sim/SimDriver.h"

namespace {

using bench::Fixed;
using bench::Grouped;

// A "Vm...:   1234 kB" line of /proc/self/status, in bytes; 0 when absent.
std::uint64_t ProcessStatusBytes(const std::string& Key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(Key + ":", 0) != 0) continue;
    std::istringstream fields(line.substr(Key.size() + 1));
    std::uint64_t kilobytes = 0;
    fields >> kilobytes;
    return kilobytes * 1024;
  }
  return 0;
}

std::uint64_t MallinfoInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;  // arena chunks in use plus mmapped blocks
}

std::string MiB(double Bytes) { return Fixed(Bytes / (1024.0 * 1024.0), 1) + " MiB"; }

// The heap while a steady stream runs: 10 000 messages a second through
// three devices delayed 0, 2 500 and 9 999 ms, the timer ticking every
// millisecond on the manual clock. Read once the longest delay has filled
// the queue, and again after a long stretch of the same stream.
constexpr std::array<std::int32_t, 3> FlatStreamDelaysMs = {0, 2500, 9999};
constexpr int FlatMessagesPerMs = 10;
constexpr int FlatFillSeconds = 12;
constexpr int FlatStretchSeconds = 60;

struct TFlatHeap {
  bench::HeapUse Filled;
  bench::HeapUse After;
  std::uint64_t MessagesBetween = 0;
  std::uint64_t MallinfoFilled = 0;
  std::uint64_t MallinfoAfter = 0;
};

TFlatHeap MeasureFlatHeap(bench::TBenchMachine& Machine) {
  for (std::uint8_t c = 0; c < 16; ++c) Machine.Route(c, c % 3);
  for (std::size_t d = 0; d < FlatStreamDelaysMs.size(); ++d) {
    Machine.SetDelay(static_cast<std::int32_t>(d), FlatStreamDelaysMs[d]);
  }
  Machine.SetInterval(1);
  std::uint32_t sequence = 0;
  const auto runSeconds = [&](int Seconds) {
    for (int ms = 0; ms < Seconds * 1000; ++ms) {
      for (int i = 0; i < FlatMessagesPerMs; ++i, ++sequence) {
        Machine.Play(bench::NoteOnCarrying(static_cast<std::uint8_t>(sequence % 3), sequence));
      }
      sim::RunFor(1);
      // The simulated devices' record of what they received keeps its
      // storage when cleared, so it stops growing after the first second.
      if (ms % 1000 == 999) sim::ClearReceived();
    }
  };
  TFlatHeap flat;
  runSeconds(FlatFillSeconds);
  flat.Filled = bench::CurrentHeapUse();
  flat.MallinfoFilled = MallinfoInUse();
  const std::uint32_t first = sequence;
  runSeconds(FlatStretchSeconds);
  flat.After = bench::CurrentHeapUse();
  flat.MallinfoAfter = MallinfoInUse();
  flat.MessagesBetween = sequence - first;
  // Everything left is sent before the next measurement.
  sim::RunFor(FlatStreamDelaysMs.back() + 10.0);
  sim::ClearReceived();
  TMidiOutShortMessage::ReleaseIdlePool();  // the next measurement starts from no pool
  return flat;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string markdown = bench::Option(argc, argv, "markdown");
  const std::string countOption = bench::Option(argc, argv, "messages");
  const std::string summary = bench::Option(argc, argv, "summary");
  const std::uint64_t messages = countOption.empty() ? 1000000 : std::stoull(countOption);

  if (!bench::CountingIsActive()) {
    std::cerr << "velmora_bench_memory: the counting allocator is not in use\n";
    return 1;
  }

  bench::TBenchMachine machine(FlatStreamDelaysMs.size());
  const TFlatHeap flat = MeasureFlatHeap(machine);

  machine.RouteAll(0);
  machine.SetDelay(0, 9999);
  // Once through the route, so that the input handler, the notice queue and
  // the allocator's free lists are in their working state.
  for (std::uint32_t i = 0; i < 1000; ++i) machine.Play(bench::NoteOnCarrying(0, i));
  sim::AdvanceMs(10000);
  sim::TickTimer();
  sim::ClearReceived();

  const bench::HeapUse before = bench::CurrentHeapUse();
  const std::uint64_t mallinfoBefore = MallinfoInUse();
  const std::uint64_t rssBefore = ProcessStatusBytes("VmRSS");

  for (std::uint64_t i = 0; i < messages; ++i) {
    machine.Play(bench::NoteOnCarrying(0, static_cast<std::uint32_t>(i)));
  }

  const bench::HeapUse queued = bench::CurrentHeapUse();
  const std::uint64_t mallinfoQueued = MallinfoInUse();
  const std::uint64_t rssQueued = ProcessStatusBytes("VmRSS");
  const std::uint64_t peakRss = ProcessStatusBytes("VmHWM");

  const double n = static_cast<double>(messages);
  const double blocksPerMessage = double(queued.LiveBlocks - before.LiveBlocks) / n;
  const double chunkBytesPerMessage = double(queued.LiveChunkBytes - before.LiveChunkBytes) / n;
  const double mallinfoPerMessage = double(mallinfoQueued - mallinfoBefore) / n;
  const double rssPerMessage = (double(rssQueued) - double(rssBefore)) / n;
  void* sample = std::malloc(sizeof(TMidiOutShortMessage));
  const std::size_t usable = malloc_usable_size(sample);
  std::free(sample);

  // Checked against both witnesses: the counting allocator and the C
  // library's own statistics.
  const double worst = std::max(chunkBytesPerMessage, mallinfoPerMessage);
  const bool met = worst <= 64.0;

  std::ostringstream out;
  out << "## Memory per queued short message\n\n";
  out << Grouped(messages)
      << " note-on messages arrive on the simulated input and are queued by the engine's "
         "input handler (9 999 ms delay, nothing sent meanwhile). Heap figures count each "
         "block with the allocator's rounding and its 8-byte header (glibc "
      << "malloc, 64-bit).\n\n";
  out << "| Measurement | Value | Target |\n|---|---:|---|\n";
  out << "| `sizeof(TMidiOutShortMessage)` | " << sizeof(TMidiOutShortMessage)
      << " bytes | — |\n";
  out << "| usable size of a heap block of that size (a message of its own, before the pool) | "
      << usable << " bytes | — |\n";
  out << "| heap blocks per queued message | " << Fixed(blocksPerMessage, 3) << " | — |\n";
  out << "| bytes per queued message, counting allocator (block + header) | "
      << Fixed(chunkBytesPerMessage, 1) << " | ≤ 64: " << bench::Verdict(chunkBytesPerMessage <= 64)
      << " |\n";
  out << "| bytes per queued message, glibc `mallinfo2` (in-use arena) | "
      << Fixed(mallinfoPerMessage, 1) << " | ≤ 64: " << bench::Verdict(mallinfoPerMessage <= 64)
      << " |\n";
  out << "| resident memory per queued message (VmRSS growth) | " << Fixed(rssPerMessage, 1)
      << " | — |\n";
  out << "| heap in use with " << Grouped(messages) << " queued | "
      << MiB(double(queued.LiveChunkBytes)) << " | — |\n";
  out << "| peak heap in use of the whole run | " << MiB(double(queued.PeakChunkBytes))
      << " | — |\n";
  out << "| process peak resident memory (VmHWM) with " << Grouped(messages) << " queued | "
      << MiB(double(peakRss)) << " (before queuing: " << MiB(double(rssBefore)) << ") | — |\n";
  out << "\nTarget: at most 64 bytes per queued short message, allocator included — "
      << bench::Verdict(met) << " (" << Fixed(worst, 1) << " bytes).\n\n";

  bench::AppendSummary(summary, "At most 64 bytes per queued short message, allocator included",
                       Fixed(worst, 1) + " bytes (" + std::to_string(sizeof(TMidiOutShortMessage)) +
                           "-byte node from the pool's chunks of " +
                           std::to_string(TShortMessagePool::BlocksPerChunk) + ")",
                       bench::Verdict(met));
  bench::AppendSummary(summary, "Peak memory with " + Grouped(messages) + " queued (no target)",
                       MiB(double(peakRss)) + " process peak resident, " +
                           MiB(double(queued.LiveChunkBytes)) + " heap in use",
                       "—");
  const double flatGrowth =
      (double(flat.After.LiveChunkBytes) - double(flat.Filled.LiveChunkBytes)) / double(flat.MessagesBetween);
  const double flatMallinfoGrowth =
      (double(flat.MallinfoAfter) - double(flat.MallinfoFilled)) / double(flat.MessagesBetween);
  // Flat: less than one byte per thousand messages, by both witnesses.
  const bool flatMet = std::max(flatGrowth, flatMallinfoGrowth) < 0.001;
  out << "## Heap in use under a steady stream\n\n";
  out << "10 000 short messages a second through three devices delayed 0, 2 500 and 9 999 ms, "
         "the timer ticking every millisecond (manual clock), "
      << FlatFillSeconds << " s to fill the queue, then " << FlatStretchSeconds
      << " s more of the same stream.\n\n";
  out << "| Measurement | Value | Target |\n|---|---:|---|\n";
  out << "| heap in use once filled, counting allocator / `mallinfo2` | "
      << MiB(double(flat.Filled.LiveChunkBytes)) << " / " << MiB(double(flat.MallinfoFilled))
      << " | — |\n";
  out << "| growth over the next " << Grouped(flat.MessagesBetween)
      << " messages, bytes per message, counting allocator / `mallinfo2` | "
      << Fixed(flatGrowth, 4) << " / " << Fixed(flatMallinfoGrowth, 4) << " | flat (< 0.001): "
      << bench::Verdict(flatMet) << " |\n\n";
  bench::AppendSummary(summary, "Heap in use flat under a steady stream (0, 2 500, 9 999 ms at 10 000 a second)",
                       Fixed(flatGrowth, 4) + " bytes per message over " +
                           Grouped(flat.MessagesBetween) + " messages (`mallinfo2`: " +
                           Fixed(flatMallinfoGrowth, 4) + ")",
                       bench::Verdict(flatMet));

  std::cout << out.str();
  if (!markdown.empty()) std::ofstream(markdown) << out.str();
  return 0;
}
