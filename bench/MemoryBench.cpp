// Memory per queued short message, allocator included, and the process's
// peak memory with 1 000 000 messages queued. The messages arrive on the
// simulated input and go through the engine's own input handler, so the
// figure is whatever the route keeps per waiting message.
//
//   velmora_bench_memory [--markdown=<file>] [--summary=<file>] [--messages=<count>]
#include <malloc.h>

#include <algorithm>
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

  bench::TBenchMachine machine(1);
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
  out << "| usable size of its heap block | " << usable << " bytes | — |\n";
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
                           "-byte node in one heap block)",
                       bench::Verdict(met));
  bench::AppendSummary(summary, "Peak memory with " + Grouped(messages) + " queued (no target)",
                       MiB(double(peakRss)) + " process peak resident, " +
                           MiB(double(queued.LiveChunkBytes)) + " heap in use",
                       "—");
  std::cout << out.str();
  if (!markdown.empty()) std::ofstream(markdown) << out.str();
  return 0;
}
