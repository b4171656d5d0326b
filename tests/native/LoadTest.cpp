// Load: 10 000 short messages a second in real time, through delays of up to
// 9 999 ms, while a channel is remapped every 10 ms and the preset switches
// every 100 ms; then an exit with 100 000 messages queued and long messages
// pending on every device. Nothing routed to an open device is lost, no
// device receives out of due-time order, nothing is sent early, every block
// is freed and the settings are written in their documented order.
//
// VELMORA_LOAD_SECONDS sets the length of the load (default 5 s; the
// reliability run takes 60).
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "settings/IniFile.h"
#include "tests/native/EngineFixture.h"
#include "tests/native/ReliabilityReport.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

using Steady = std::chrono::steady_clock;

double LoadSeconds() {
  const char* text = std::getenv("VELMORA_LOAD_SECONDS");
  const double seconds = text ? std::atof(text) : 5.0;
  return seconds > 0 ? seconds : 5.0;
}

// Resident memory of the process in kB, where the system tells it.
long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// Bytes of the C heap in use; -1 where it cannot be told (a sanitizer's
// allocator does not report through it).
long long HeapInUse() {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#if __GLIBC_PREREQ(2, 33)
  return static_cast<long long>(mallinfo2().uordblks);
#else
  return -1;
#endif
#else
  return -1;
#endif
}

// A message carries its number: 14 bits in the two data bytes, 8 in the top
// byte, which the router passes on unchanged. Key pressure with no note held
// follows its channel, as every message did before notes were followed.
DWORD Carrying(std::uint8_t Channel, std::uint32_t Id) {
  return (0xA0u | Channel) | ((Id & 0x7F) << 8) | (((Id >> 7) & 0x7F) << 16) | (((Id >> 14) & 0xFF) << 24);
}
std::uint32_t CarriedId(DWORD Message) {
  return ((Message >> 8) & 0x7F) | (((Message >> 16) & 0x7F) << 7) | (((Message >> 24) & 0xFF) << 14);
}

class Load : public EngineFixture {
 protected:
  void TearDown() override {
    sim::SetRealTime(false);
    sim::SetFileStepHook(nullptr);
    EngineFixture::TearDown();
  }
};

TEST_F(Load, TenThousandMessagesASecondThroughLongDelaysWhileChannelsAndPresetsChange) {
  constexpr std::int32_t Delays[3] = {0, 2500, 9999};
  constexpr double Rate = 10000;  // messages a second
  const double seconds = LoadSeconds();
  const long residentBefore = ResidentKilobytes();
  const long long heapBefore = HeapInUse();

  BootAndStart();
  // Channels 0-2 stay on devices 0-2 in every map, so no device ever closes
  // and every message has an open device to go to; the other channels differ
  // between the two presets and are remapped at random.
  engine->Presets().AddPreset("Alt");
  for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c < 3 ? c : (c * 7 + 1) % 3);
  engine->Presets().SetItemIndex(0);
  for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c % 3);
  for (std::int32_t d = 0; d < 3; ++d) engine->SetDelay(d, Delays[d]);
  engine->SetTimerInterval(1);
  sim::SetCallRecording(false);
  sim::SetRealTime(true);

  struct TArrival {
    TDateTime Earliest, Latest;  // bounds of the due time
    std::uint8_t Channel;
  };
  std::vector<TArrival> arrivals;
  arrivals.reserve(static_cast<std::size_t>(Rate * seconds * 1.1) + 1000);
  std::mt19937 random(42);
  std::size_t remaps = 0, presetSwitches = 0, sysexBlocks = 0;
  std::vector<std::uint32_t> pending;  // injected, not yet delivered
  const auto start = Steady::now();
  auto nextRemap = start, nextPreset = start, nextSysEx = start;
  for (;;) {
    const auto now = Steady::now();
    const double elapsed = std::chrono::duration<double>(now - start).count();
    if (elapsed >= seconds) break;
    const auto due = static_cast<std::size_t>(elapsed * Rate);
    for (std::size_t n = 0; arrivals.size() + pending.size() < due && n < 1000; ++n) {
      const auto id = static_cast<std::uint32_t>(arrivals.size() + pending.size());
      const auto channel = static_cast<std::uint8_t>(random() % 16);
      sim::InjectShort(0, Carrying(channel, id));
      pending.push_back(channel);
    }
    if (now >= nextSysEx) {
      const std::uint8_t bytes[] = {0xF0, 0x7D, static_cast<std::uint8_t>(sysexBlocks & 0x7F), 0xF7};
      sim::InjectSysEx(0, bytes, sizeof bytes);
      ++sysexBlocks;
      nextSysEx += std::chrono::milliseconds(100);
    }
    // Each message's due time lies between the clock before and after the
    // notices are handled, plus the delay of the device its channel maps to
    // then.
    const TDateTime before = sim::NowValue();
    std::vector<TDateTime> delayOf(16);
    for (std::uint8_t c = 0; c < 16; ++c) delayOf[c] = engine->DelayTimes(engine->ChannelDevices(c));
    sim::DeliverNotices();
    const TDateTime after = sim::NowValue();
    for (const std::uint32_t channel : pending)
      arrivals.push_back({before + delayOf[channel], after + delayOf[channel], static_cast<std::uint8_t>(channel)});
    pending.clear();

    if (now >= nextRemap) {
      engine->SetChannelDevice(static_cast<std::uint8_t>(3 + random() % 13), static_cast<std::int32_t>(random() % 3));
      ++remaps;
      nextRemap += std::chrono::milliseconds(10);
    }
    if (now >= nextPreset) {
      engine->Presets().SetItemIndex(static_cast<std::int32_t>(presetSwitches % 2 == 0 ? 1 : 0));
      ++presetSwitches;
      nextPreset += std::chrono::milliseconds(100);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  const double inputSeconds = std::chrono::duration<double>(Steady::now() - start).count();
  const TDateTime inputEnd = sim::NowValue();
  std::size_t queuedAtEnd = 0;
  for (const TArrival& a : arrivals) queuedAtEnd += a.Earliest > inputEnd ? 1 : 0;

  // The rest of the queue drains on the manual clock, tick by tick.
  sim::SetRealTime(false);
  sim::RunFor(Delays[2] + 50.0);
  sim::DeliverNotices();
  EXPECT_TRUE(engine->MessageList().Empty());

  std::vector<char> seen(arrivals.size(), 0);
  std::size_t received = 0, duplicates = 0, outOfOrder = 0, early = 0, wrongDevice = 0, longsReceived = 0;
  double worstLatenessMs = 0;
  for (int device = 0; device < 3; ++device) {
    TDateTime latestEarliest = 0;  // the latest lower bound of a due time sent so far
    for (const sim::Received& r : sim::ReceivedBy(device)) {
      if (r.Long) {
        ++longsReceived;
        continue;
      }
      const std::uint32_t id = CarriedId(r.Short);
      ASSERT_LT(id, arrivals.size());
      const TArrival& a = arrivals[id];
      if (seen[id]++) ++duplicates;
      ++received;
      if (a.Channel < 3 && a.Channel != device) ++wrongDevice;
      if (latestEarliest > a.Latest) ++outOfOrder;  // certainly due before one sent earlier
      latestEarliest = std::max(latestEarliest, a.Earliest);
      if (r.Time < a.Earliest) ++early;
      if (r.Time <= inputEnd) worstLatenessMs = std::max(worstLatenessMs, DateTimeToMilliseconds(r.Time - a.Latest));
    }
  }
  const std::size_t lost = arrivals.size() - (received - duplicates);
  EXPECT_EQ(lost, 0u);
  EXPECT_EQ(duplicates, 0u);
  EXPECT_EQ(outOfOrder, 0u);
  EXPECT_EQ(early, 0u);
  EXPECT_EQ(wrongDevice, 0u);
  EXPECT_EQ(longsReceived, 3 * sysexBlocks) << "every block to every open device";
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  // The simulated devices' records of what they received go with a fresh
  // machine, as they came, and the test's own records go too (assigning {}
  // would keep a vector's storage); what stays is what the program kept.
  const std::size_t messages = arrivals.size();
  std::vector<TArrival>().swap(arrivals);
  std::vector<char>().swap(seen);
  std::vector<std::uint32_t>().swap(pending);
  decltype(events)().swap(events);
  decltype(reports)().swap(reports);
  EngineFixture::SetUp();
  const long residentAfter = ResidentKilobytes();
  const long long heapAfter = HeapInUse();
  TReliabilityFigures("load", "10 000 messages a second in real time through delays of 0, 2 500 and 9 999 ms, a channel remapped every 10 ms, the preset switched every 100 ms, a system-exclusive block every 100 ms")
      .Add("seconds", inputSeconds)
      .Add("messages", messages)
      .Add("rate_per_s", static_cast<long>(static_cast<double>(messages) / inputSeconds))
      .Add("queued_at_end_of_input", queuedAtEnd)
      .Add("remaps", remaps)
      .Add("preset_switches", presetSwitches)
      .Add("sysex_blocks", sysexBlocks)
      .Add("routed_to_open_devices", received)
      .Add("lost", lost)
      .Add("out_of_order", outOfOrder)
      .Add("sent_early", early)
      .Add("worst_lateness_ms", worstLatenessMs)
      .Add("leaked_blocks", sim::LiveHeapBlocks())
      .Add("resident_growth_kB", residentBefore >= 0 ? residentAfter - residentBefore : -1)
      .Add("heap_growth_bytes", heapBefore >= 0 ? heapAfter - heapBefore : -1)
      .Print();
}

// The non-blank lines of a settings text.
std::vector<std::string> LinesOf(const std::string& Text) {
  std::vector<std::string> lines;
  std::istringstream in(Text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// "Section/Key" of each line that one save added to the end of a new file.
std::vector<std::string> AddedKeys(const std::string& Before, const std::string& After) {
  const auto old = LinesOf(Before);
  const auto now = LinesOf(After);
  std::size_t i = 0;
  while (i < old.size() && i < now.size() && old[i] == now[i]) ++i;
  std::string section;
  std::vector<std::string> keys;
  for (std::size_t j = 0; j < now.size(); ++j) {
    if (now[j].front() == '[') section = now[j].substr(1, now[j].size() - 2);
    else if (j >= i) keys.push_back(section + "/" + now[j].substr(0, now[j].find('=')));
  }
  return keys;
}

TEST_F(Load, AnExitWithAHundredThousandMessagesQueuedAndLongMessagesPendingFreesEverything) {
  BootAndStart();
  for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, c % 3);
  for (std::int32_t d = 0; d < 3; ++d) engine->SetDelay(d, 9999);
  sim::SetCallRecording(false);
  constexpr std::uint32_t Queued = 100000;
  for (std::uint32_t id = 0; id < Queued; ++id) {
    sim::InjectShort(0, Carrying(static_cast<std::uint8_t>(id % 16), id));
    if (id % 1000 == 999) sim::DeliverNotices();
  }
  sim::DeliverNotices();
  sim::SetAutoComplete(false);
  std::vector<std::uint8_t> dump(10000, 0x11);
  dump.front() = 0xF0;
  dump.back() = 0xF7;
  sim::InjectSysEx(0, dump.data(), dump.size());
  sim::DeliverNotices();
  sim::RunFor(4);  // the blocks go out and stay with the devices
  std::size_t pendingHeaders = 0;
  for (int d = 0; d < 3; ++d) {
    EXPECT_EQ(sim::PendingOutputHeaders(d).size(), 3u) << "device " << d;
    pendingHeaders += sim::PendingOutputHeaders(d).size();
  }
  EXPECT_TRUE(ShortsTo(0).empty()) << "the short messages are still waiting";

  std::vector<std::string> writes;
  std::size_t replacements = 0;
  std::string previous = SettingsText();
  sim::SetFileStepHook([&](sim::FileStep step, const std::string&, const std::string& text) {
    if (step != sim::FileStep::Renamed) return;
    ++replacements;
    for (std::string& key : AddedKeys(previous, text)) writes.push_back(std::move(key));
    previous = text;
  });
  sim::SetCallRecording(true);
  sim::ClearCalls();
  const std::size_t liveBefore = sim::LiveHeapBlocks();
  const auto t0 = Steady::now();
  Shutdown();
  const double exitMs = std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
  sim::SetFileStepHook(nullptr);

  EXPECT_EQ(sim::LiveHeapBlocks(), 0u) << "every header and block freed";
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
  EXPECT_TRUE(sim::Calls(sim::Call::MidiOutShortMsg).empty()) << "queued messages are dropped unsent";
  std::vector<std::string> expected;
  for (int c = 0; c < 16; ++c) expected.push_back("Preset_default/Device" + std::to_string(c));
  // Within one save the keys lie in the file by section: the engine's
  // interval and preset index join its section ahead of the delays.
  for (const char* key : {"VelmoraEngine/MidiInDeviceName", "VelmoraEngine/TimerInterval",
                          "VelmoraEngine/PresetIndex", "MidiOutDelays/MidiOutNumDevs", "MidiOutDelays/Device0",
                          "MidiOutDelays/Delay0", "MidiOutDelays/Device1", "MidiOutDelays/Delay1",
                          "MidiOutDelays/Device2", "MidiOutDelays/Delay2", "PresetSwitch/Channel",
                          "SystemMessages/Route", "Presets/PresetsCount"})
    expected.push_back(key);
  EXPECT_EQ(writes, expected) << "settings written in the documented order";
  EXPECT_EQ(replacements, 3u) << "one replacement each for the preset map, the engine and the names";
  TReliabilityFigures("exit-under-load", "an exit with 100 000 messages queued and the three blocks of a 10 000-byte dump pending on each of three devices")
      .Add("messages_queued", Queued)
      .Add("long_messages_pending", pendingHeaders)
      .Add("heap_blocks_before_exit", liveBefore)
      .Add("heap_blocks_after_exit", sim::LiveHeapBlocks())
      .Add("settings_writes_in_order", writes == expected ? writes.size() : 0)
      .Add("exit_ms", exitMs)
      .Print();
}

}  // namespace
