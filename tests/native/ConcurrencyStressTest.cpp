// The main thread and the timer thread at once, in the simulated real-time
// mode: input at full rate while channels are remapped, delays change,
// ports reopen and devices refuse to open. Run under ThreadSanitizer this is
// the proof that the queue's hand-off and the ports' send locks are enough.
#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "engine/MidiOutMessageList.h"
#include "tests/native/EngineFixture.h"

namespace {

using ConcurrencyStress = RealTimeEngineFixture;

TEST_F(ConcurrencyStress, InputRemapReopenDelayChangesAndPanicsWhileTheTimerSends) {
  BootAndStart();
  engine->SetTimerInterval(1);
  std::mt19937 random(7);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  std::uint32_t played = 0;
  std::uint32_t step = 0;
  while (std::chrono::steady_clock::now() < end) {
    for (int i = 0; i < 20; ++i) {
      sim::InjectShort(0, 0x90 | (played % 16) | ((played & 0x7F) << 8) | (0x40u << 16));
      ++played;
    }
    if (step % 10 == 0) {
      std::uint8_t bytes[300];
      bytes[0] = 0xF0;
      for (int i = 1; i < 299; ++i) bytes[i] = static_cast<std::uint8_t>(i & 0x7F);
      bytes[299] = 0xF7;
      sim::InjectSysEx(0, bytes, sizeof bytes);
    }
    sim::DeliverNotices();
    const std::uint32_t what = random() % 20;
    if (what < 8) {
      engine->SetChannelDevice(static_cast<std::uint8_t>(random() % 16), static_cast<std::int32_t>(random() % 3));
    } else if (what < 12) {
      engine->SetDelay(static_cast<std::int32_t>(random() % 3), static_cast<std::int32_t>(random() % 20));
    } else if (what == 12) {
      engine->Reopen();
    } else if (what == 13) {
      sim::FailCall(sim::Call::MidiOutOpen, MMSYSERR_ALLOCATED, 1);
      engine->Reopen();
    } else if (what == 14) {
      engine->SetTimerInterval(static_cast<std::int32_t>(1 + random() % 4));
    } else if (what == 15) {
      engine->Presets().SetItemIndex(0);
    } else if (what == 16) {
      engine->Panic();  // while the timer sends
    }
    ++step;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  engine->Reopen();  // every mapped device open again before the queue drains
  const auto drained = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!engine->MessageList().Empty() && std::chrono::steady_clock::now() < drained)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  sim::DeliverNotices();

  // No send ever reached a handle that was closed or never opened.
  std::size_t shortsSent = 0;
  for (const sim::CallRecord& call : sim::Calls()) {
    if (call.What == sim::Call::MidiOutShortMsg || call.What == sim::Call::MidiOutLongMsg) {
      EXPECT_EQ(call.Result, MMSYSERR_NOERROR) << sim::CallName(call.What) << " on a dead handle";
      if (call.What == sim::Call::MidiOutShortMsg) ++shortsSent;
    }
  }
  EXPECT_GT(shortsSent, 0u);
  EXPECT_TRUE(engine->MessageList().Empty());

  // What was queued for a device when it closed (every Reopen here) was
  // dropped with the close; after the storm, every channel routes again.
  for (std::int32_t device = 0; device < 3; ++device) engine->SetDelay(device, 0);
  const std::size_t before = sim::Calls(sim::Call::MidiOutShortMsg).size();
  constexpr std::size_t Afterwards = 100;
  for (std::size_t i = 0; i < Afterwards; ++i) sim::InjectShort(0, 0xA0 | (i % 16) | (i << 8));
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (sim::Calls(sim::Call::MidiOutShortMsg).size() < before + Afterwards && std::chrono::steady_clock::now() < giveUp) {
    sim::DeliverNotices();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(sim::Calls(sim::Call::MidiOutShortMsg).size(), before + Afterwards) << "every message after the storm";
  Shutdown();
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 0u);
}

// With fixed delays, every device receives its messages in due-time order
// and none is lost while the devices stay open.
TEST_F(ConcurrencyStress, NothingIsLostOrReorderedPerDeviceUnderLoad) {
  BootAndStart();
  engine->SetTimerInterval(1);
  engine->SetChannelDevice(1, 1);
  engine->SetChannelDevice(2, 2);
  engine->SetDelay(1, 7);
  engine->SetDelay(2, 3);
  std::map<int, std::uint32_t> sentPerChannel;
  std::uint32_t counter = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
  while (std::chrono::steady_clock::now() < end) {
    for (int i = 0; i < 10; ++i) {
      const int channel = static_cast<int>(counter % 3);
      // Key and velocity carry a running number per channel.
      const std::uint32_t n = sentPerChannel[channel]++;
      sim::InjectShort(0, static_cast<DWORD>(0x90 | channel) | ((n & 0x7F) << 8) | (((n >> 7) & 0x7F) << 16));
      ++counter;
    }
    sim::DeliverNotices();
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  // The timer thread sends the last of them when it gets to run: on a busy
  // machine that can take a while.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  const auto allArrived = [&] {
    for (int device = 0; device < 3; ++device)
      if (sim::ReceivedBy(device).size() < sentPerChannel[device]) return false;
    return true;
  };
  while (!allArrived() && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (int device = 0; device < 3; ++device) {
    const auto received = sim::ReceivedBy(device);
    std::uint32_t expected = 0;
    for (const sim::Received& r : received) {
      const std::uint32_t n = ((r.Short >> 8) & 0x7F) | (((r.Short >> 16) & 0x7F) << 7);
      EXPECT_EQ(n, expected & 0x3FFF) << "device " << device;
      ++expected;
      if (n != ((expected - 1) & 0x3FFF)) break;
    }
    EXPECT_EQ(expected, sentPerChannel[device]) << "device " << device << " lost messages";
  }
}

// The queue alone: the main thread posts short messages for three devices
// at full speed while another thread keeps taking what is due and freeing it
// (the pool takes the blocks back on that thread). Every message comes out
// once, each device's in arrival order.
TEST(QueueHandOff, PostAndTakeOnTwoThreadsLoseAndReorderNothing) {
  constexpr int Devices = 3;
  constexpr std::uint32_t PerDevice = 60000;
  TMidiOutMessageList list;
  std::atomic<bool> posting{true};
  std::atomic<double> now{0};  // the taker's clock, moved on by the poster
  std::vector<std::uint32_t> next(Devices, 0);
  std::uint32_t outOfOrder = 0, taken = 0;
  std::thread taker([&] {
    for (;;) {
      const bool last = !posting.load(std::memory_order_acquire);
      TMidiOutMessage* m = list.TakeDue(last ? 1e9 : now.load(std::memory_order_relaxed));
      while (m != nullptr) {
        TMidiOutMessage* following = m->Next;
        auto* s = static_cast<TMidiOutShortMessage*>(m);
        if (s->Data >> 8 != next[static_cast<std::size_t>(s->Device)]++) ++outOfOrder;
        ++taken;
        m->Free();
        m = following;
      }
      if (last) return;
    }
  });
  for (std::uint32_t i = 0; i < PerDevice * Devices; ++i) {
    const int device = static_cast<int>(i % Devices);
    const double arrival = i * 0.001;
    list.Post(new TMidiOutShortMessage(0x90 | ((i / Devices) << 8), device, arrival + device * 5.0));
    now.store(arrival, std::memory_order_relaxed);
  }
  posting.store(false, std::memory_order_release);
  taker.join();
  EXPECT_EQ(taken, PerDevice * Devices);
  EXPECT_EQ(outOfOrder, 0u);
  EXPECT_TRUE(list.Empty());
}

}  // namespace
