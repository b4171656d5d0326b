// How late the router sends over the real multimedia timer: short messages
// injected on a virtual input at irregular moments go through the engine
// (input notice, queue, timer tick, output port) to a virtual output with a
// delay; the driver stamps every arrival with the performance counter.
//
//   timer lateness  = arrival - (moment the engine queued it + delay):
//                     what the timer adds: ideally a fraction of a
//                     millisecond, whatever the period (the wake-ups);
//   end to end      = arrival - (moment the driver posted the input + delay):
//                     the above plus the delivery of the input notice.
//
// Run under Wine with the virtual driver (see the README), from the source
// folder, the count of messages per interval optional (4000 by default):
//   VELMORA_WINE_AUDIO=vmidi tools/wine-run.sh build/windows/tests/windows/velmora_timer_lateness.exe 4000
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "VirtualMidiEnvironment.h"
#include "engine/Engine.h"
#include "midi/MidiIO.h"
#include "settings/IniDefs.h"

using namespace testdevices;

namespace {

constexpr std::int32_t DelayMs = 10;

struct Summary {
  double p50 = 0, p99 = 0, max = 0, min = 0;
};

Summary Summarise(std::vector<double> Values) {
  Summary s;
  if (Values.empty()) return s;
  std::sort(Values.begin(), Values.end());
  const auto at = [&](double q) {
    const std::size_t rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(Values.size())));
    return Values[std::min(Values.size() - 1, rank == 0 ? 0 : rank - 1)];
  };
  s.p50 = at(0.50);
  s.p99 = at(0.99);
  s.max = Values.back();
  s.min = Values.front();
  return s;
}

struct Run {
  UINT interval = 0;
  std::size_t sent = 0;
  std::size_t received = 0;
  std::size_t outOfOrder = 0;
  Summary timer;
  Summary endToEnd;
};

Run Measure(UINT interval, std::size_t Count) {
  Run run;
  run.interval = interval;
  vmidi::Controller& driver = *VirtualMidi();

  InitializeIniDefs();
  const std::string settings = IniFileName;
  DeleteFileA(settings.c_str());
  BuildDeviceCatalogue();
  InitializeEngine();
  TVelmoraEngine& engine = *GlobalEngine;
  engine.Start();
  engine.SetTimerInterval(static_cast<std::int32_t>(interval));
  for (std::uint8_t channel = 0; channel < 16; ++channel) engine.SetChannelDevice(channel, OutSynthB);
  engine.SetDelay(OutSynthB, DelayMs);
  PumpMessages();

  // The moment the engine takes each message in, by its sequence number
  // (carried in the two data bytes).
  std::vector<std::int64_t> queuedAt(Count, 0);
  auto original = engine.MidiIn().OnData;
  engine.MidiIn().OnData = [&](TMidiInput& sender, DWORD data) {
    const std::size_t n = ((data >> 8) & 0x7F) | (((data >> 16) & 0x7F) << 7);
    if (n < Count) queuedAt[n] = QpcNow();
    original(sender, data);
  };
  driver.Sync();
  driver.ClearRecords();

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const std::int64_t ticksPerMicrosecond = std::max<std::int64_t>(1, frequency.QuadPart / 1000000);
  std::vector<std::int64_t> injectedAt(Count, 0);
  std::atomic<bool> injecting{true};
  std::thread injector([&] {
    // Irregular spacing, 0 to 4 ms, so arrivals fall on every phase of the
    // timer period.
    std::mt19937 random(interval);
    std::uniform_int_distribution<std::int64_t> spacingUs(0, 4000);
    for (std::size_t n = 0; n < Count; ++n) {
      const DWORD message = 0x90u | static_cast<DWORD>((n & 0x7F) << 8) | static_cast<DWORD>(((n >> 7) & 0x7F) << 16);
      injectedAt[n] = driver.InjectShort(InUsbMidi, message).Qpc;
      const std::int64_t until = QpcNow() + spacingUs(random) * ticksPerMicrosecond;
      while (QpcNow() < until) std::this_thread::yield();
    }
    injecting = false;
  });
  PumpUntil([&] { return !injecting && driver.Received(OutSynthB).size() >= Count; }, 120000);
  injector.join();
  PumpFor(50);
  driver.Sync();
  run.sent = Count;

  std::vector<double> timer, endToEnd;
  std::size_t previous = 0;
  for (const auto& record : driver.Received(OutSynthB)) {
    const DWORD data = record.Packed();
    const std::size_t n = ((data >> 8) & 0x7F) | (((data >> 16) & 0x7F) << 7);
    if (n >= Count || queuedAt[n] == 0) continue;
    ++run.received;
    if (n < previous) ++run.outOfOrder;
    previous = n;
    timer.push_back(QpcToMilliseconds(record.Qpc - queuedAt[n]) - DelayMs);
    endToEnd.push_back(QpcToMilliseconds(record.Qpc - injectedAt[n]) - DelayMs);
  }
  run.timer = Summarise(timer);
  run.endToEnd = Summarise(endToEnd);

  engine.MidiIn().OnData = original;
  FinalizeEngine();
  FreeDeviceCatalogue();
  DeleteFileA(settings.c_str());
  FinalizeIniDefs();
  PumpFor(20);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4000;
  if (count == 0 || count > 16384) {
    std::fprintf(stderr, "messages per interval: 1 to 16384\n");
    return 2;
  }
  if (!StartVirtualMidi()) {
    std::fprintf(stderr, "the virtual MIDI driver is not loaded (VELMORA_WINE_AUDIO=vmidi under Wine)\n");
    return 1;
  }
  const char* wine = nullptr;
  // Only Wine's ntdll has it; on Windows the figures say so by its absence.
  using WineVersion = const char* (*)();
  if (FARPROC found = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
    wine = reinterpret_cast<WineVersion>(reinterpret_cast<void*>(found))();
  std::printf("Lateness of messages due %d ms after arrival, %zu messages per interval%s%s\n\n", DelayMs, count,
              wine ? ", Wine " : "", wine ? wine : "");
  std::printf("| interval | received | out of order | timer p50 | timer p99 | timer max | end-to-end p50 | end-to-end p99 | end-to-end max |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  int status = 0;
  for (UINT interval : {1u, 4u}) {
    const Run run = Measure(interval, count);
    std::printf("| %u ms | %zu/%zu | %zu | %.3f ms | %.3f ms | %.3f ms | %.3f ms | %.3f ms | %.3f ms |\n", run.interval,
                run.received, run.sent, run.outOfOrder, run.timer.p50, run.timer.p99, run.timer.max, run.endToEnd.p50,
                run.endToEnd.p99, run.endToEnd.max);
    std::fflush(stdout);
    if (run.received != run.sent || run.outOfOrder != 0 || run.timer.min < 0) status = 1;
  }
  return status;
}
