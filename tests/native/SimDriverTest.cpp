// The simulated platform itself: the instrument every other test trusts. It
// must deliver notices as a message loop does, fill and return input buffers
// as a driver does, hold output headers until told, fail on request, keep
// handles unique and never let a killed timer event run again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/NoticeWindow.h"
#include "platform/Platform.h"
#include "platform/sim/SimDriver.h"

namespace {

struct Notice {
  int Window;
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  bool operator==(const Notice&) const = default;
};

std::ostream& operator<<(std::ostream& Os, const Notice& N) {
  return Os << "w" << N.Window << ":" << std::hex << N.Msg << "(" << N.WParam << "," << N.LParam
            << ")" << std::dec;
}

LPARAM Address(const MIDIHDR& Header) { return reinterpret_cast<LPARAM>(&Header); }

class SimDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetOpenCloseNotices(false);
    sim::SetInputDevices({{"Keyboard"}, {"Pads"}});
    sim::SetOutputDevices({{"Synth A"}, {"Synth B"}});
  }
  void TearDown() override { sim::Reset(); }

  // A notice window that writes what it receives into `seen`.
  std::unique_ptr<platform::NoticeWindow> Window(int Number) {
    return std::make_unique<platform::NoticeWindow>(
        [this, Number](TMessage& m) { seen.push_back({Number, m.Msg, m.WParam, m.LParam}); });
  }

  // An input buffer of `size` bytes, prepared and queued on `handle`.
  void Queue(HMIDIIN Handle, MIDIHDR& Header, std::vector<char>& Data) {
    Header = MIDIHDR{};
    Header.lpData = Data.data();
    Header.dwBufferLength = static_cast<DWORD>(Data.size());
    ASSERT_EQ(platform::midiInPrepareHeader(Handle, &Header, sizeof Header), MMSYSERR_NOERROR);
    ASSERT_EQ(platform::midiInAddBuffer(Handle, &Header, sizeof Header), MMSYSERR_NOERROR);
  }

  std::vector<Notice> seen;
};

TEST_F(SimDriver, NoticesReachTheirWindowsInPostingOrderAlsoWhenAHandlerDeliversAgain) {
  auto first = Window(1);
  auto second = Window(2);
  // The first window's handler pumps messages, as a lamp does, and posts
  // a follow-up notice of its own while doing so.
  first = std::make_unique<platform::NoticeWindow>([&](TMessage& m) {
    seen.push_back({1, m.Msg, m.WParam, m.LParam});
    if (m.Msg == 0x401) {
      sim::PostOutputNotice(1, 0x404, 0, 0);
      EXPECT_EQ(sim::DeliverNotices(), 3u) << "the rest of the queue, the new notice included";
    }
  });
  HMIDIOUT a = nullptr;
  HMIDIOUT b = nullptr;
  ASSERT_EQ(platform::midiOutOpen(&a, 0, first->CallbackTarget(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(platform::midiOutOpen(&b, 1, second->CallbackTarget(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(platform::midiOutClose(b), MMSYSERR_NOERROR);  // later notices go to the last window given
  sim::PostOutputNotice(0, 0x401, 0, 0);
  sim::PostOutputNotice(1, 0x402, 0, 0);
  sim::PostOutputNotice(0, 0x403, 0, 0);
  EXPECT_EQ(sim::PendingNotices(), 3u);
  EXPECT_TRUE(seen.empty()) << "nothing is delivered before the loop runs";

  EXPECT_EQ(sim::DeliverNotices(), 1u) << "the outer loop counts what it delivered itself";
  EXPECT_EQ(seen, (std::vector<Notice>{{1, 0x401, 0, 0}, {2, 0x402, 0, 0}, {1, 0x403, 0, 0},
                                       {2, 0x404, 0, 0}}));
  EXPECT_EQ(sim::PendingNotices(), 0u);

  // A notice for a window that no longer exists is dropped, not misdelivered.
  sim::PostOutputNotice(1, 0x405, 0, 0);
  second.reset();
  auto third = Window(3);
  EXPECT_EQ(sim::DeliverNotices(), 0u);
  EXPECT_EQ(sim::PendingNotices(), 0u);
  EXPECT_NE(third->CallbackTarget(), first->CallbackTarget());
  platform::midiOutClose(a);
}

TEST_F(SimDriver, InjectedSystemExclusiveFillsQueuedBuffersInOrderAndIsLostWithoutOne) {
  auto window = Window(1);
  HMIDIIN in = nullptr;
  ASSERT_EQ(platform::midiInOpen(&in, 0, window->CallbackTarget(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  std::vector<char> data1(4), data2(4);
  MIDIHDR h1{}, h2{};
  Queue(in, h1, data1);
  Queue(in, h2, data2);
  const std::uint8_t bytes[] = {0xF0, 1, 2, 3, 4, 0xF7, 0xF0, 5};
  EXPECT_EQ(sim::InjectSysEx(0, bytes, sizeof bytes), 0u) << "a device that is not started records nothing";
  ASSERT_EQ(platform::midiInStart(in), MMSYSERR_NOERROR);

  // Four bytes fill the first buffer; the second takes 4, 0xF7 and returns
  // at it; the last two bytes find no buffer.
  EXPECT_EQ(sim::InjectSysEx(0, bytes, sizeof bytes), 6u);
  EXPECT_EQ(seen, (std::vector<Notice>{})) << "returned buffers wait for the message loop";
  EXPECT_EQ(sim::QueuedInputBuffers(0), 0u);
  sim::DeliverNotices();
  const WPARAM handle = reinterpret_cast<WPARAM>(in);
  EXPECT_EQ(seen, (std::vector<Notice>{{1, MM_MIM_LONGDATA, handle, Address(h1)},
                                       {1, MM_MIM_LONGDATA, handle, Address(h2)}}));
  EXPECT_EQ(h1.dwBytesRecorded, 4u);
  EXPECT_EQ(h2.dwBytesRecorded, 2u);
  EXPECT_EQ(std::vector<char>(data2.begin(), data2.begin() + 2), (std::vector<char>{4, '\xF7'}));
  EXPECT_EQ(h1.dwFlags & (MHDR_DONE | MHDR_INQUEUE | MHDR_PREPARED), DWORD{MHDR_DONE | MHDR_PREPARED});

  // Handed back, a buffer is filled from its start again.
  ASSERT_EQ(platform::midiInAddBuffer(in, &h1, sizeof h1), MMSYSERR_NOERROR);
  EXPECT_EQ(h1.dwFlags & MHDR_DONE, 0u);
  EXPECT_EQ(sim::InjectSysEx(0, bytes + 6, 2), 2u);
  EXPECT_EQ(h1.dwBytesRecorded, 2u);
  EXPECT_EQ(sim::PendingNotices(), 0u) << "an unfinished message stays in its buffer";

  platform::midiInReset(in);
  platform::midiInUnprepareHeader(in, &h1, sizeof h1);
  platform::midiInUnprepareHeader(in, &h2, sizeof h2);
  EXPECT_EQ(platform::midiInClose(in), MMSYSERR_NOERROR);
}

TEST_F(SimDriver, InputBuffersFollowTheDriversRulesAndResetReturnsEveryOne) {
  auto window = Window(1);
  HMIDIIN in = nullptr;
  ASSERT_EQ(platform::midiInOpen(&in, 1, window->CallbackTarget(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  std::vector<char> data(16);
  MIDIHDR loose{};
  loose.lpData = data.data();
  loose.dwBufferLength = 16;
  EXPECT_EQ(platform::midiInAddBuffer(in, &loose, sizeof loose), MIDIERR_UNPREPARED);

  std::vector<char> data1(16), data2(16);
  MIDIHDR h1{}, h2{};
  Queue(in, h1, data1);
  Queue(in, h2, data2);
  EXPECT_EQ(platform::midiInAddBuffer(in, &h1, sizeof h1), MIDIERR_STILLPLAYING) << "queued twice";
  EXPECT_EQ(platform::midiInUnprepareHeader(in, &h1, sizeof h1), MIDIERR_STILLPLAYING);
  EXPECT_EQ(platform::midiInClose(in), MIDIERR_STILLPLAYING);
  ASSERT_EQ(platform::midiInStart(in), MMSYSERR_NOERROR);
  const std::uint8_t part[] = {0xF0, 0x7E, 0x01};
  sim::InjectSysEx(1, part, sizeof part);

  ASSERT_EQ(platform::midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_FALSE(sim::InputStarted(1));
  EXPECT_EQ(sim::QueuedInputBuffers(1), 0u);
  EXPECT_NE(h1.dwFlags & MHDR_DONE, 0u);
  EXPECT_NE(h2.dwFlags & MHDR_DONE, 0u);
  sim::DeliverNotices();
  const WPARAM handle = reinterpret_cast<WPARAM>(in);
  EXPECT_EQ(seen, (std::vector<Notice>{{1, MM_MIM_LONGDATA, handle, Address(h1)},
                                       {1, MM_MIM_LONGDATA, handle, Address(h2)}}));
  EXPECT_EQ(h1.dwBytesRecorded, 3u) << "the part received is returned with its length";
  EXPECT_EQ(h2.dwBytesRecorded, 0u);

  EXPECT_EQ(platform::midiInUnprepareHeader(in, &h1, sizeof h1), MMSYSERR_NOERROR);
  EXPECT_EQ(platform::midiInUnprepareHeader(in, &h2, sizeof h2), MMSYSERR_NOERROR);
  EXPECT_EQ(platform::midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(platform::midiInClose(in), MMSYSERR_INVALHANDLE) << "a closed handle is dead";
  seen.clear();
  sim::InjectShort(1, 0x90);
  sim::DeliverNotices();
  EXPECT_TRUE(seen.empty()) << "a closed device posts nothing";
}

TEST_F(SimDriver, OutputHeadersAreHeldUntilCompletedAndResetCompletesTheRest) {
  sim::SetAutoComplete(false);
  auto window = Window(1);
  HMIDIOUT out = nullptr;
  ASSERT_EQ(platform::midiOutOpen(&out, 1, window->CallbackTarget(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  char bytes[3][4] = {{'\xF0', 1, 2, '\xF7'}, {'\xF0', 3, 4, '\xF7'}, {'\xF0', 5, 6, '\xF7'}};
  MIDIHDR headers[3]{};
  for (int i = 0; i < 3; ++i) {
    headers[i].lpData = bytes[i];
    headers[i].dwBufferLength = 4;
    EXPECT_EQ(platform::midiOutLongMsg(out, &headers[i], sizeof(MIDIHDR)), MIDIERR_UNPREPARED);
    ASSERT_EQ(platform::midiOutPrepareHeader(out, &headers[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(platform::midiOutLongMsg(out, &headers[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(sim::PendingOutputHeaders(1), (std::vector<MIDIHDR*>{&headers[0], &headers[1], &headers[2]}));
  EXPECT_EQ(platform::midiOutUnprepareHeader(out, &headers[1], sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(platform::midiOutClose(out), MIDIERR_STILLPLAYING);

  sim::CompleteHeader(1, &headers[1]);
  EXPECT_NE(headers[1].dwFlags & MHDR_DONE, 0u);
  EXPECT_EQ(platform::midiOutUnprepareHeader(out, &headers[1], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(platform::midiOutReset(out), MMSYSERR_NOERROR);
  EXPECT_TRUE(sim::PendingOutputHeaders(1).empty());
  sim::DeliverNotices();
  const WPARAM handle = reinterpret_cast<WPARAM>(out);
  EXPECT_EQ(seen, (std::vector<Notice>{{1, MM_MOM_DONE, handle, Address(headers[1])},
                                       {1, MM_MOM_DONE, handle, Address(headers[0])},
                                       {1, MM_MOM_DONE, handle, Address(headers[2])}}));
  const auto received = sim::ReceivedBy(1);
  ASSERT_EQ(received.size(), 3u);
  EXPECT_TRUE(received[2].Long);
  EXPECT_EQ(received[2].Bytes, (std::vector<std::uint8_t>{0xF0, 5, 6, 0xF7}));
  EXPECT_TRUE(sim::ReceivedBy(0).empty());
  EXPECT_EQ(platform::midiOutClose(out), MMSYSERR_NOERROR);

  // Auto-completion finishes each header inside the send.
  sim::SetAutoComplete(true);
  ASSERT_EQ(platform::midiOutOpen(&out, 0, window->CallbackTarget(), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(platform::midiOutLongMsg(out, &headers[0], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_TRUE(sim::PendingOutputHeaders(0).empty());
  EXPECT_EQ(sim::PendingNotices(), 1u);
  platform::midiOutClose(out);
}

TEST_F(SimDriver, FailuresHitTheChosenCallsAndDevicesForTheChosenCount) {
  const struct {
    const char* Case;
    int Count;
    int Device;
    std::vector<MMRESULT> Device0;  // four opens of device 0 (each closed again)
    std::vector<MMRESULT> Device1;  // four opens of device 1
  } cases[] = {
      {"next two, any device", 2, -1, {MMSYSERR_NOMEM, MMSYSERR_NOERROR, MMSYSERR_NOERROR, MMSYSERR_NOERROR},
       {MMSYSERR_NOMEM, MMSYSERR_NOERROR, MMSYSERR_NOERROR, MMSYSERR_NOERROR}},
      {"next two, device 1", 2, 1, {0, 0, 0, 0}, {MMSYSERR_NOMEM, MMSYSERR_NOMEM, 0, 0}},
      {"for ever, device 0", -1, 0, {MMSYSERR_NOMEM, MMSYSERR_NOMEM, MMSYSERR_NOMEM, MMSYSERR_NOMEM}, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    sim::ClearFailures();
    sim::FailCall(sim::Call::MidiOutOpen, MMSYSERR_NOMEM, c.Count, c.Device);
    std::vector<MMRESULT> got0, got1;
    for (int round = 0; round < 4; ++round) {
      for (int device = 0; device < 2; ++device) {
        HMIDIOUT out = nullptr;
        const MMRESULT result = platform::midiOutOpen(&out, static_cast<UINT>(device), 0, 0, CALLBACK_NULL);
        (device == 0 ? got0 : got1).push_back(result);
        EXPECT_EQ(out == nullptr, result != MMSYSERR_NOERROR) << c.Case;
        if (out != nullptr) platform::midiOutClose(out);
      }
    }
    EXPECT_EQ(got0, c.Device0) << c.Case;
    EXPECT_EQ(got1, c.Device1) << c.Case;
  }
  sim::ClearFailures();

  // The heap refuses, the files fail and leave the target as it was.
  sim::FailCall(sim::Call::HeapAlloc, MMSYSERR_NOMEM);
  EXPECT_EQ(platform::ProcessHeapAlloc(64), nullptr);
  void* block = platform::ProcessHeapAlloc(64);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(block)[63], 0) << "blocks are zero-filled";
  EXPECT_EQ(sim::LiveHeapBlocks(), 1u);
  platform::ProcessHeapFree(block);
  platform::ProcessHeapFree(block);
  int notFromTheHeap = 0;
  platform::ProcessHeapFree(&notFromTheHeap);
  EXPECT_EQ(sim::LiveHeapBlocks(), 0u);
  EXPECT_EQ(sim::HeapFreesOfUnknownBlocks(), 2u);

  const std::string path = platform::LocalAppDataFolder() + platform::PathDelimiter + "Velmora.ini";
  ASSERT_TRUE(platform::ReplaceFileText(path, "old"));
  sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR);
  EXPECT_FALSE(platform::ReplaceFileText(path, "new"));
  sim::FailCall(sim::Call::ReadFile, MMSYSERR_ERROR);
  std::string text = "untouched";
  EXPECT_FALSE(platform::ReadFileText(path, text));
  EXPECT_EQ(text, "untouched");
  ASSERT_TRUE(platform::ReadFileText(path, text));
  EXPECT_EQ(text, "old");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  const auto writes = sim::Calls(sim::Call::ReplaceFile);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].Result, MMSYSERR_ERROR);
  EXPECT_EQ(writes[1].Path, path);
}

TEST_F(SimDriver, HandlesAndTimerIdsAreNeverGivenOutTwiceAndStaleOnesAreRefused) {
  std::set<std::uintptr_t> handles;
  HMIDIOUT stale = nullptr;
  for (int i = 0; i < 50; ++i) {
    HMIDIOUT out = nullptr;
    ASSERT_EQ(platform::midiOutOpen(&out, static_cast<UINT>(i % 2), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_TRUE(handles.insert(reinterpret_cast<std::uintptr_t>(out)).second) << i;
    EXPECT_EQ(sim::OutputHandle(i % 2), reinterpret_cast<std::uintptr_t>(out));
    platform::midiOutClose(out);
    if (i == 0) stale = out;
  }
  EXPECT_EQ(platform::midiOutShortMsg(stale, 0x90), MMSYSERR_INVALHANDLE);
  HMIDIIN in = nullptr;
  ASSERT_EQ(platform::midiInOpen(&in, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(handles.count(reinterpret_cast<std::uintptr_t>(in)), 0u);
  EXPECT_EQ(platform::midiOutShortMsg(reinterpret_cast<HMIDIOUT>(in), 0x90), MMSYSERR_INVALHANDLE)
      << "an input handle is no output handle";
  platform::midiInClose(in);

  std::set<UINT> ids;
  static constexpr LPTIMECALLBACK Nothing = [](UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {};
  for (int i = 0; i < 20; ++i) {
    const UINT id = platform::timeSetEvent(4, 1, Nothing, 0, TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(ids.insert(id).second);
    EXPECT_EQ(platform::timeKillEvent(id), TIMERR_NOERROR);
    EXPECT_NE(platform::timeKillEvent(id), MMRESULT{TIMERR_NOERROR}) << "killed once only";
  }
  sim::Reset();
  const UINT afterReset = platform::timeSetEvent(4, 1, Nothing, 0, TIME_PERIODIC);
  EXPECT_EQ(ids.count(afterReset), 0u);
  platform::timeKillEvent(afterReset);
}

TEST_F(SimDriver, AVanishedDeviceAnswersNoDriverToEveryCallUntilItComesBack) {
  HMIDIOUT out = nullptr;
  ASSERT_EQ(platform::midiOutOpen(&out, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  sim::SetOutputPresent(1, false);
  MIDIOUTCAPSA caps{};
  EXPECT_EQ(platform::midiOutGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NODRIVER);
  EXPECT_EQ(platform::midiOutShortMsg(out, 0x90), MMSYSERR_NODRIVER);
  EXPECT_EQ(platform::midiOutReset(out), MMSYSERR_NODRIVER);
  EXPECT_EQ(platform::midiOutClose(out), MMSYSERR_NODRIVER);
  HMIDIOUT again = nullptr;
  EXPECT_EQ(platform::midiOutOpen(&again, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
  EXPECT_EQ(platform::midiOutOpen(&again, 2, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(platform::midiOutShortMsg(out, 0x90), MMSYSERR_INVALHANDLE) << "its handle was released";
  sim::SetOutputPresent(1, true);
  ASSERT_EQ(platform::midiOutOpen(&again, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(platform::midiOutShortMsg(again, 0x90), MMSYSERR_NOERROR);
  platform::midiOutClose(again);

  // The mapper opens the first device and is recorded as device -1.
  ASSERT_EQ(platform::midiOutOpen(&again, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_TRUE(sim::OutputOpen(0));
  EXPECT_EQ(sim::Calls(sim::Call::MidiOutOpen).back().Device, -1);
  platform::midiOutClose(again);
}

TEST_F(SimDriver, CapabilityRecordsCarryTheNameAsTheSystemFillsIt) {
  const std::string long40(40, 'N');
  sim::SetOutputDevices({{.Name = "USB MIDI", .DriverVersion = 0x010A},
                         {.Name = long40},
                         {.Name = long40, .NameFillsAll = true},
                         {.Name = "x", .DriverVersion = 1, .CapsFail = true}});
  const struct {
    UINT Device;
    MMRESULT Result;
    std::string Name;  // the 32 characters of szPname up to the first zero
  } cases[] = {
      {0, MMSYSERR_NOERROR, "USB MIDI"},
      {1, MMSYSERR_NOERROR, std::string(31, 'N')},
      {2, MMSYSERR_NOERROR, std::string(32, 'N')},
      {3, MMSYSERR_ERROR, ""},
      {4, MMSYSERR_BADDEVICEID, ""},
  };
  for (const auto& c : cases) {
    MIDIOUTCAPSA caps{};
    EXPECT_EQ(platform::midiOutGetDevCapsA(c.Device, &caps, sizeof caps), c.Result) << c.Device;
    EXPECT_EQ(std::string(caps.szPname, strnlen(caps.szPname, MAXPNAMELEN)), c.Name) << c.Device;
  }
  MIDIOUTCAPSA caps{};
  platform::midiOutGetDevCapsA(0, &caps, sizeof caps);
  EXPECT_EQ(caps.vDriverVersion, 0x010Au);
}

TEST_F(SimDriver, TheTimerTicksOnItsOwnThreadAndAKilledEventNeverRunsAgain) {
  struct Counter {
    std::atomic<int> Ticks{0};
    std::atomic<bool> OnCallerThread{false};
    std::thread::id Caller = std::this_thread::get_id();
    std::atomic<int> SlowMs{0};
    std::atomic<bool> Inside{false};
  } fast, slow;
  static constexpr LPTIMECALLBACK Count = [](UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto& counter = *reinterpret_cast<Counter*>(user);
    if (std::this_thread::get_id() == counter.Caller) counter.OnCallerThread = true;
    counter.Inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(counter.SlowMs.load()));
    ++counter.Ticks;
    counter.Inside = false;
  };
  const UINT fastId = platform::timeSetEvent(4, 1, Count, reinterpret_cast<DWORD_PTR>(&fast), TIME_PERIODIC);
  const UINT slowId = platform::timeSetEvent(10, 1, Count, reinterpret_cast<DWORD_PTR>(&slow), TIME_PERIODIC);
  const TDateTime start = sim::NowValue();
  sim::RunFor(40);
  EXPECT_EQ(fast.Ticks, 10);
  EXPECT_EQ(slow.Ticks, 4);
  EXPECT_NEAR(DateTimeToMilliseconds(sim::NowValue() - start), 40.0, 0.01);
  sim::TickTimer();
  EXPECT_EQ(fast.Ticks, 11) << "one tick of every event, the clock unmoved";
  EXPECT_EQ(slow.Ticks, 5);
  EXPECT_FALSE(fast.OnCallerThread);

  // Real time: a kill waits for the callback in progress, and nothing runs
  // after it has returned.
  slow.SlowMs = 30;
  sim::SetRealTime(true);
  while (slow.Ticks == 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(12));  // into the next, slow callback
  // Its callbacks take longer than its interval, so one is always running.
  EXPECT_EQ(platform::timeKillEvent(slowId), TIMERR_NOERROR);
  EXPECT_FALSE(slow.Inside) << "the kill returned while a callback ran";
  const int slowAtKill = slow.Ticks;
  EXPECT_EQ(platform::timeKillEvent(fastId), TIMERR_NOERROR);
  const int fastAtKill = fast.Ticks;
  EXPECT_GT(fastAtKill, 11);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(slow.Ticks, slowAtKill);
  EXPECT_EQ(fast.Ticks, fastAtKill);
  EXPECT_EQ(sim::RunningTimerEvents(), 0u);
  EXPECT_FALSE(fast.OnCallerThread);
  sim::SetRealTime(false);
}

TEST_F(SimDriver, AnEventMayKillItselfFromItsOwnCallback) {
  struct Self {
    std::atomic<int> Ticks{0};
    std::atomic<MMRESULT> Killed{99};
  } self;
  // The callback is told its own event's identifier.
  static constexpr LPTIMECALLBACK KillSelf = [](UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto& s = *reinterpret_cast<Self*>(user);
    if (++s.Ticks == 2) s.Killed = platform::timeKillEvent(id);
  };
  for (bool realTime : {false, true}) {
    self.Ticks = 0;
    self.Killed = 99;
    sim::SetRealTime(realTime);
    ASSERT_NE(platform::timeSetEvent(5, 1, KillSelf, reinterpret_cast<DWORD_PTR>(&self), TIME_PERIODIC), 0u);
    if (realTime) {
      while (self.Killed == 99u) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else {
      sim::RunFor(50);
    }
    EXPECT_EQ(self.Killed, MMRESULT{TIMERR_NOERROR}) << realTime;
    EXPECT_EQ(self.Ticks, 2) << realTime;
    EXPECT_EQ(sim::RunningTimerEvents(), 0u) << realTime;
    sim::SetRealTime(false);
  }
}

TEST_F(SimDriver, TheTimerReportsItsCapsAndCountsPeriodRequests) {
  sim::SetTimerCaps(5, 100);
  TIMECAPS caps{};
  ASSERT_EQ(platform::timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
  EXPECT_EQ(caps.wPeriodMin, 5u);
  EXPECT_EQ(caps.wPeriodMax, 100u);
  static constexpr LPTIMECALLBACK Nothing = [](UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {};
  EXPECT_EQ(platform::timeSetEvent(4, 5, Nothing, 0, TIME_PERIODIC), 0u) << "below the service's range";
  EXPECT_EQ(platform::timeBeginPeriod(5), TIMERR_NOERROR);
  EXPECT_EQ(platform::timeBeginPeriod(5), TIMERR_NOERROR);
  EXPECT_EQ(sim::OutstandingTimerPeriods(), 2);
  EXPECT_EQ(platform::timeEndPeriod(6), TIMERR_NOCANDO) << "no such request to release";
  EXPECT_EQ(platform::timeEndPeriod(5), TIMERR_NOERROR);
  EXPECT_EQ(sim::OutstandingTimerPeriods(), 1);
  sim::FailCall(sim::Call::TimeSetEvent, TIMERR_NOCANDO);
  EXPECT_EQ(platform::timeSetEvent(10, 5, Nothing, 0, TIME_PERIODIC), 0u);
  sim::FailCall(sim::Call::TimeGetDevCaps, TIMERR_NOCANDO);
  TIMECAPS untouched{77, 88};
  EXPECT_EQ(platform::timeGetDevCaps(&untouched, sizeof untouched), TIMERR_NOCANDO);
  EXPECT_EQ(untouched.wPeriodMin, 77u);
  sim::Reset();
  EXPECT_EQ(sim::OutstandingTimerPeriods(), 0);
}

}  // namespace
