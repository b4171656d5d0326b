// The router end to end over the real winmm path: the catalogue, the engine,
// its ports and its timer on the Windows backend, with the virtual devices
// as the witnesses of what reaches each output and when.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VirtualMidiEnvironment.h"
#include "engine/Engine.h"
#include "midi/MidiIO.h"
#include "platform/Platform.h"
#include "settings/IniDefs.h"

using namespace testdevices;
using vmidi::DeviceEventKind;
using vmidi::Direction;

namespace {

struct PortReport {
  bool Output;
  std::int32_t Device;
  TMidiPortState State;
  bool operator==(const PortReport&) const = default;
};

std::ostream& operator<<(std::ostream& Os, const PortReport& R) {
  return Os << (R.Output ? "out" : "in") << R.Device << ":" << int(R.State);
}

std::vector<std::uint8_t> SysEx(std::size_t Length, std::uint8_t Seed) {
  std::vector<std::uint8_t> bytes(Length);
  for (std::size_t i = 0; i < Length; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + Seed) % 0x80);
  bytes.front() = 0xF0;
  bytes.back() = 0xF7;
  return bytes;
}

std::vector<std::uint8_t> Joined(const std::vector<vmidi::OutputRecord>& Records) {
  std::vector<std::uint8_t> bytes;
  for (const auto& r : Records) bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.end());
  return bytes;
}

std::vector<std::size_t> LongSizes(const std::vector<vmidi::OutputRecord>& Records) {
  std::vector<std::size_t> sizes;
  for (const auto& r : Records)
    if (r.Long) sizes.push_back(r.Bytes.size());
  return sizes;
}

// The program's start-up over the real system: settings path, catalogue,
// engine, then Start as the main window's first idle moment does. Every test
// starts from no settings file and leaves none behind.
class EngineOverWinmm : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_VIRTUAL_MIDI();
    driver = VirtualMidi();
    InitializeIniDefs();
    settingsFile = IniFileName;
    DeleteFileA(settingsFile.c_str());
    BuildDeviceCatalogue();
    InitializeEngine();
    engine = GlobalEngine;
    engine->OnMidiOutStateChange = [this](TVelmoraEngine&, std::int32_t d, TMidiPortState s) {
      reports.push_back({.Output = true, .Device = d, .State = s});
    };
    engine->OnMidiInStateChange = [this](TVelmoraEngine&, TMidiPortState s) {
      reports.push_back({.Output = false, .Device = engine->MidiIn().DeviceIndex(), .State = s});
    };
  }

  void TearDown() override {
    if (!driver) return;
    if (GlobalEngine) FinalizeEngine();
    FreeDeviceCatalogue();
    PumpFor(20);  // late notices of the closes find their windows gone
    DeleteFileA(settingsFile.c_str());
    FinalizeIniDefs();
    for (int d = 0; d < OutputCount; ++d) driver->SetHoldLong(d, false);
    for (int d = 0; d < OutputCount; ++d) driver->SetUnplugged(d, false);
    driver->SetRefuseOpen(Direction::Output, OutRefusing, true);
    driver->Sync();
    driver->ClearRecords();
  }

  void Start() {
    engine->Start();
    PumpMessages();
    driver->Sync();
    driver->ClearRecords();
    reports.clear();
  }

  // Injects a short message on input 0; the time the driver posted it.
  std::int64_t Inject(DWORD Message) {
    const vmidi::Ack ack = driver->InjectShort(InUsbMidi, Message);
    EXPECT_EQ(ack.Value, 1u) << "input 0 is not open and started";
    return ack.Qpc;
  }

  bool AwaitReceived(int Device, std::size_t count, DWORD TimeoutMs = 5000) {
    return PumpUntil([&] { return driver->Received(Device).size() >= count; }, TimeoutMs);
  }

  vmidi::Controller* driver = nullptr;
  TVelmoraEngine* engine = nullptr;
  std::string settingsFile;
  std::vector<PortReport> reports;
};

}  // namespace

TEST_F(EngineOverWinmm, TheCatalogueNamesDevicesByProductAndDriverVersion) {
  EXPECT_EQ(MidiInDeviceCount, InputCount);
  EXPECT_EQ(MidiInDeviceNames.Items(),
            (std::vector<std::string>{"USB MIDI (1.5)", "Virtual Keyboard (1.0)", ""}));
  EXPECT_EQ(MidiOutDeviceCount, OutputCount);
  EXPECT_EQ(MidiOutDeviceNames.Items(), (std::vector<std::string>{"USB MIDI (1.5)", "Virtual Synth B (1.10)",
                                                                  "Refusing Synth (0.0)", "", "usb midi (1.5)"}));
  struct Lookup {
    const char* name;
    std::int32_t index;
  };
  for (const Lookup& l : {Lookup{"usb midi (1.5)", 0}, Lookup{"VIRTUAL SYNTH B (1.10)", 1}, Lookup{"", 3},
                          Lookup{"Virtual Synth B (1.1)", -1}})
    EXPECT_EQ(MidiOutDeviceNames.IndexOf(l.name), l.index) << l.name;
  EXPECT_EQ(engine->MidiOutCount(), OutputCount);
}

TEST_F(EngineOverWinmm, StartOpensTheFirstInputAndTheDeviceOfEveryChannel) {
  engine->Start();
  PumpMessages();
  EXPECT_EQ(engine->MidiIn().State(), mpsOpen);
  EXPECT_EQ(engine->MidiOutStates(OutUsbMidi), mpsOpen);
  for (int d = 1; d < OutputCount; ++d) EXPECT_EQ(engine->MidiOutStates(d), mpsClosed) << d;
  ASSERT_TRUE(driver->Sync());
  std::vector<std::pair<int, int>> opened;
  for (const auto& e : driver->Events())
    if (e.Kind == DeviceEventKind::Opened) opened.push_back({static_cast<int>(e.Dir), e.Device});
  EXPECT_EQ(opened, (std::vector<std::pair<int, int>>{{0, InUsbMidi}, {1, OutUsbMidi}}));
}

TEST_F(EngineOverWinmm, ADeviceThatRefusesStaysClosedUntilReopenFindsItReady) {
  Start();
  engine->SetChannelDevice(3, OutRefusing);
  EXPECT_EQ(reports, (std::vector<PortReport>{{true, OutRefusing, mpsOpening},
                                              {true, OutRefusing, mpsClosing},
                                              {true, OutRefusing, mpsClosed}}));
  EXPECT_EQ(engine->MidiOutStates(OutRefusing), mpsClosed);
  EXPECT_EQ(engine->MidiOuts(OutRefusing).RefCount(), 1);
  Inject(0x00403C83);  // channel 3: its device is closed, nothing is sent
  PumpFor(30);
  ASSERT_TRUE(driver->Sync());
  for (int d = 0; d < OutputCount; ++d) EXPECT_TRUE(driver->Received(d).empty()) << d;

  ASSERT_TRUE(driver->SetRefuseOpen(Direction::Output, OutRefusing, false));
  engine->Reopen();
  EXPECT_EQ(engine->MidiOutStates(OutRefusing), mpsOpen);
  Inject(0x00403C83);
  ASSERT_TRUE(AwaitReceived(OutRefusing, 1));
  EXPECT_EQ(driver->Received(OutRefusing)[0].Packed(), 0x00403C83u);
}

TEST_F(EngineOverWinmm, ShortMessagesReachTheMappedDeviceAfterItsDelay) {
  Start();
  engine->SetTimerInterval(1);
  engine->SetChannelDevice(5, OutSynthB);
  engine->SetChannelDevice(9, OutSynthB);
  engine->SetDelay(OutSynthB, 100);
  engine->SetDelay(OutUsbMidi, 0);
  struct Case {
    DWORD message;
    int device;
    double delayMs;
  };
  const std::vector<Case> cases = {
      {0x00643C95, OutSynthB, 100},   // note on, channel 5
      {0x00643C90, OutUsbMidi, 0},    // channel 0 keeps device 0, no delay
      {0x007F2499, OutSynthB, 100},   // channel 9 shares device 1 and its delay
      {0x00003C85, OutSynthB, 100},   // note off, channel 5
      {0x000010C0, OutUsbMidi, 0},    // program change, channel 0
  };
  std::vector<std::int64_t> injected;
  for (const auto& c : cases) injected.push_back(Inject(c.message));
  ASSERT_TRUE(AwaitReceived(OutSynthB, 3));
  ASSERT_TRUE(AwaitReceived(OutUsbMidi, 2));
  PumpFor(20);
  ASSERT_TRUE(driver->Sync());

  std::vector<std::vector<vmidi::OutputRecord>> received(OutputCount);
  for (int d = 0; d < OutputCount; ++d) received[d] = driver->Received(d);
  ASSERT_EQ(received[OutSynthB].size(), 3u);
  ASSERT_EQ(received[OutUsbMidi].size(), 2u);
  std::vector<std::size_t> next(OutputCount, 0);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& record = received[cases[i].device][next[cases[i].device]++];
    EXPECT_EQ(record.Packed(), cases[i].message) << "case " << i << ": unchanged, in arrival order";
    const double elapsed = QpcToMilliseconds(record.Qpc - injected[i]);
    // Due at arrival plus the delay, sent at the first tick after that; the
    // upper bound leaves room for a loaded machine.
    EXPECT_GE(elapsed, cases[i].delayMs) << "case " << i;
    EXPECT_LT(elapsed, cases[i].delayMs + 60.0) << "case " << i;
  }
}

TEST_F(EngineOverWinmm, SystemExclusiveOf10000BytesGoesToEveryOpenDeviceIn4096ByteBlocks) {
  Start();
  engine->SetChannelDevice(2, OutSynthB);
  const auto sysex = SysEx(10000, 3);
  EXPECT_EQ(driver->InjectSysEx(InUsbMidi, sysex).Value, sysex.size()) << "every byte found an input buffer";
  for (int device : {OutUsbMidi, OutSynthB}) ASSERT_TRUE(AwaitReceived(device, 3)) << device;
  PumpFor(20);
  ASSERT_TRUE(driver->Sync());
  for (int device : {OutUsbMidi, OutSynthB}) {
    const auto records = driver->Received(device);
    EXPECT_EQ(LongSizes(records), (std::vector<std::size_t>{4096, 4096, 10000 - 2 * 4096})) << device;
    EXPECT_EQ(Joined(records), sysex) << device;
    EXPECT_TRUE(PumpUntil([&] { return driver->Sync() && driver->OutputEvents(device, DeviceEventKind::Unprepared) == 3; }))
        << "every completed block is released";
  }
  for (int device : {OutRefusing, OutBroken, OutUsbMidiTwin}) EXPECT_TRUE(driver->Received(device).empty());
}

TEST_F(EngineOverWinmm, LateCompletionsOfAClosedOutputCompleteNothingOfTheNextOpen) {
  Start();
  engine->SetChannelDevice(4, OutSynthB);
  ASSERT_TRUE(driver->SetHoldLong(OutSynthB, true));
  const auto first = SysEx(300, 1);
  driver->InjectSysEx(InUsbMidi, first);
  ASSERT_TRUE(AwaitReceived(OutSynthB, 1));

  // Unmap and map again without handling notices in between: the close's
  // reset posts a completion that is handled only after the new open.
  engine->SetChannelDevice(4, OutUsbMidi);
  engine->SetChannelDevice(4, OutSynthB);
  ASSERT_EQ(engine->MidiOutStates(OutSynthB), mpsOpen);
  ASSERT_TRUE(driver->Sync());
  EXPECT_EQ(driver->OutputEvents(OutSynthB, DeviceEventKind::Unprepared), 1u) << "the close released the pending block";
  driver->ClearRecords();
  const auto second = SysEx(300, 2);
  driver->InjectSysEx(InUsbMidi, second);
  ASSERT_TRUE(AwaitReceived(OutSynthB, 1));
  PumpFor(50);  // the stale completion is handled here
  ASSERT_TRUE(driver->Sync());
  EXPECT_EQ(driver->OutputEvents(OutSynthB, DeviceEventKind::Unprepared), 0u);
  EXPECT_EQ(driver->OutputEvents(OutSynthB, DeviceEventKind::UnprepareRefused), 0u)
      << "a stale notice tried to release the block the device still holds";

  EXPECT_EQ(driver->CompleteHeld(OutSynthB), 1u);
  EXPECT_TRUE(PumpUntil([&] { return driver->Sync() && driver->OutputEvents(OutSynthB, DeviceEventKind::Unprepared) == 1; }));
  ASSERT_TRUE(driver->Sync());
  EXPECT_EQ(Joined(driver->Received(OutSynthB)), second);
}

TEST_F(EngineOverWinmm, InputCutOffByASwitchArrivesAtMostOnceAndBeforeTheNewDevicesInput) {
  Start();
  // A system-exclusive message cut off by the switch: its bytes sit in an
  // input buffer that the close returns. The notices of that return arrive
  // after the new device is open, on a handle value and at header addresses
  // that the new open may have been given again.
  const auto cut = SysEx(500, 5);
  const std::vector<std::uint8_t> unfinished(cut.begin(), cut.end() - 1);
  EXPECT_EQ(driver->InjectSysEx(InUsbMidi, unfinished).Value, unfinished.size());
  engine->SetMidiInDevice(InKeyboard);
  ASSERT_EQ(engine->MidiIn().State(), mpsOpen);
  const auto head = SysEx(700, 6);
  const std::vector<std::uint8_t> firstPart(head.begin(), head.begin() + 300);
  const std::vector<std::uint8_t> secondPart(head.begin() + 300, head.end());
  EXPECT_EQ(driver->InjectSysEx(InKeyboard, firstPart).Value, firstPart.size());
  PumpFor(50);
  ASSERT_TRUE(driver->Sync());
  const auto beforeEnd = driver->Received(OutUsbMidi);
  // The message cut off ends with a lone F7, so the synth reads the next
  // one as a message.
  ASSERT_LE(beforeEnd.size(), 2u) << "bytes passed on twice, or the new buffer passed on unfinished";
  if (!beforeEnd.empty()) {
    EXPECT_EQ(beforeEnd[0].Bytes, unfinished);
    ASSERT_EQ(beforeEnd.size(), 2u);
    EXPECT_EQ(beforeEnd[1].Bytes, std::vector<std::uint8_t>{0xF7});
  }

  EXPECT_EQ(driver->InjectSysEx(InKeyboard, secondPart).Value, secondPart.size());
  ASSERT_TRUE(AwaitReceived(OutUsbMidi, beforeEnd.size() + 1));
  PumpFor(20);
  ASSERT_TRUE(driver->Sync());
  const auto all = driver->Received(OutUsbMidi);
  ASSERT_EQ(all.size(), beforeEnd.size() + 1);
  EXPECT_EQ(all.back().Bytes, head) << "the new device's message arrives whole, once";
}

TEST_F(EngineOverWinmm, ClosingAllPortsAtShutdownResetsEveryDevice) {
  Start();
  engine->SetChannelDevice(1, OutSynthB);
  ASSERT_TRUE(driver->SetHoldLong(OutSynthB, true));
  driver->InjectSysEx(InUsbMidi, SysEx(64, 9));
  ASSERT_TRUE(AwaitReceived(OutSynthB, 1));
  FinalizeEngine();
  ASSERT_TRUE(driver->Sync());
  std::vector<std::pair<int, DeviceEventKind>> outputs;
  for (const auto& e : driver->Events())
    if (e.Dir == Direction::Output && (e.Kind == DeviceEventKind::Reset || e.Kind == DeviceEventKind::Closed))
      outputs.push_back({e.Device, e.Kind});
  EXPECT_EQ(outputs, (std::vector<std::pair<int, DeviceEventKind>>{{OutUsbMidi, DeviceEventKind::Reset},
                                                                   {OutUsbMidi, DeviceEventKind::Closed},
                                                                   {OutSynthB, DeviceEventKind::Reset},
                                                                   {OutSynthB, DeviceEventKind::Closed}}))
      << "a device still holding a block is reset before its close, so the close succeeds";
  std::string text;
  EXPECT_TRUE(platform::ReadFileText(settingsFile, text));
  EXPECT_NE(text.find("Virtual Synth B (1.10)"), std::string::npos) << "the settings file names devices";
}

// As the main window's row list and preset list change the map: a key held
// while its channel moves, on its own and by a preset switch, ends on the
// synth that sounded it.
TEST_F(EngineOverWinmm, AKeyReleasedAfterItsChannelMovedEndsOnTheDeviceThatPlayedIt) {
  Start();
  engine->Presets().AddPreset("Alt");  // the same map; channel 0 moves to Synth B below
  engine->SetChannelDevice(0, OutSynthB);
  engine->Presets().SetItemIndex(0);
  PumpMessages();
  const struct {
    const char* Name;
    std::function<void()> Move;
  } moves[] = {{"the row's device changed", [&] { engine->SetChannelDevice(0, OutSynthB); }},
               {"the preset switched", [&] { engine->Presets().SetItemIndex(1); }}};
  for (const auto& move : moves) {
    SCOPED_TRACE(move.Name);
    engine->Presets().SetItemIndex(0);
    engine->SetChannelDevice(0, OutUsbMidi);
    PumpMessages();
    ASSERT_TRUE(driver->Sync());
    driver->ClearRecords();
    Inject(0x00643C90);  // Note On, channel 0, key 60
    ASSERT_TRUE(AwaitReceived(OutUsbMidi, 1));
    move.Move();
    ASSERT_EQ(engine->ChannelDevices(0), OutSynthB);
    Inject(0x00003C80);  // its Note Off
    ASSERT_TRUE(AwaitReceived(OutUsbMidi, 2));
    PumpFor(20);
    ASSERT_TRUE(driver->Sync());
    const auto played = driver->Received(OutUsbMidi);
    ASSERT_EQ(played.size(), 2u);
    EXPECT_EQ(played[1].Packed(), 0x00003C80u);
    for (const auto& r : driver->Received(OutSynthB)) EXPECT_NE(r.Packed() & 0xF0, 0x80u) << "no Note Off on Synth B";
  }
}

// A dump that arrives slowly, in three buffers, with a key struck and let go
// between them: the synth's record shows nothing but the dump between its F0
// and its F7, and the note after it.
TEST_F(EngineOverWinmm, ANoteArrivingBetweenThePartsOfADumpWaitsForItsEnd) {
  Start();
  constexpr std::size_t Block = 4096;  // the input's buffer size
  const auto dump = SysEx(3 * Block - 100, 9);
  const auto part = [&](std::size_t index) {
    const auto begin = dump.begin() + static_cast<std::ptrdiff_t>(index * Block);
    return std::vector<std::uint8_t>(begin, index == 2 ? dump.end() : begin + Block);
  };
  constexpr DWORD NoteOn = 0x00643C90, NoteOff = 0x00003C80;
  ASSERT_EQ(driver->InjectSysEx(InUsbMidi, part(0)).Value, Block);
  ASSERT_TRUE(AwaitReceived(OutUsbMidi, 1));
  Inject(NoteOn);
  PumpFor(20);  // time for the note to go, were it not held back
  ASSERT_EQ(driver->InjectSysEx(InUsbMidi, part(1)).Value, Block);
  Inject(NoteOff);
  PumpFor(20);
  ASSERT_EQ(driver->InjectSysEx(InUsbMidi, part(2)).Value, dump.size() - 2 * Block);
  ASSERT_TRUE(AwaitReceived(OutUsbMidi, 5));
  PumpFor(20);
  ASSERT_TRUE(driver->Sync());
  const auto records = driver->Received(OutUsbMidi);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(LongSizes(records), (std::vector<std::size_t>{Block, Block, dump.size() - 2 * Block}));
  std::vector<std::uint8_t> longBytes;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(records[i].Long) << "record " << i << " lies inside the dump";
    longBytes.insert(longBytes.end(), records[i].Bytes.begin(), records[i].Bytes.end());
  }
  EXPECT_EQ(longBytes, dump);
  EXPECT_EQ(records[3].Packed(), NoteOn);
  EXPECT_EQ(records[4].Packed(), NoteOff);
}

// A synth whose cable is pulled mid-stream, with no word from the system:
// the first refused send shows it lost (its lamp's state), nothing more is
// sent to it while the others play on, and once it answers again it is
// opened anew (its old handle stays dead) and plays without a Reopen, the
// keys it was left holding released first.
TEST_F(EngineOverWinmm, AnOutputThatStopsAnsweringIsLostAndPlaysAgainByItselfWhenItReturns) {
  Start();
  engine->SetChannelDevice(5, OutSynthB);
  PumpMessages();
  ASSERT_TRUE(driver->Sync());
  driver->ClearRecords();
  reports.clear();
  Inject(0x00403C95);  // Note On, channel 5, key 60
  ASSERT_TRUE(AwaitReceived(OutSynthB, 1));

  ASSERT_TRUE(driver->SetUnplugged(OutSynthB, true));
  Inject(0x00403E95);  // key 62: the send is refused
  ASSERT_TRUE(PumpUntil([&] { return engine->MidiOutStates(OutSynthB) == mpsLost; }));
  EXPECT_EQ(reports.back(), (PortReport{.Output = true, .Device = OutSynthB, .State = mpsLost}));
  Inject(0x00404090);  // channel 0 plays on, on USB MIDI
  ASSERT_TRUE(AwaitReceived(OutUsbMidi, 1));
  PumpFor(TVelmoraEngine::LostRetryMilliseconds + 200);
  EXPECT_EQ(engine->MidiOutStates(OutSynthB), mpsLost) << "retried only once the system lists it again";

  ASSERT_TRUE(driver->SetUnplugged(OutSynthB, false));
  ASSERT_TRUE(PumpUntil([&] { return engine->MidiOutStates(OutSynthB) == mpsOpen; },
                        static_cast<DWORD>(TVelmoraEngine::LostRetryMilliseconds) + 3000))
      << "it comes back without a Reopen";
  Inject(0x00404395);  // key 67
  ASSERT_TRUE(AwaitReceived(OutSynthB, 4));
  ASSERT_TRUE(driver->Sync());
  std::vector<DWORD> played;
  for (const auto& r : driver->Received(OutSynthB)) played.push_back(r.Packed());
  EXPECT_EQ(played, (std::vector<DWORD>{0x00403C95, 0x00003C85, 0x00003E85, 0x00404395}));
  EXPECT_EQ(driver->OutputEvents(OutSynthB, DeviceEventKind::Closed), 1u) << "the dead handle was closed";
  EXPECT_EQ(driver->OutputEvents(OutSynthB, DeviceEventKind::Opened), 1u) << "and the device opened anew";
}
