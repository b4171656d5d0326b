// Live changes while keys are held: every note ends on the device that
// sounds it, and per device nothing overtakes what arrived before it. Each
// row plays on the simulated input as a musician would, changes routing on
// the way, and lets every queued message come due; a model of a synth then
// replays what each device received.
#include <functional>
#include <map>
#include <set>

#include "midi/MidiMessages.h"
#include "tests/native/EngineFixture.h"

namespace {

constexpr int A = 0, B = 1;

DWORD On(int Channel, int Key) { return midi::Pack(0x90 | Channel, Key, 100); }
DWORD Off(int Channel, int Key) { return midi::Pack(0x80 | Channel, Key, 0); }
DWORD OnZero(int Channel, int Key) { return midi::Pack(0x90 | Channel, Key, 0); }
DWORD Control(int Channel, int Controller, int Value) { return midi::Pack(0xB0 | Channel, Controller, Value); }
DWORD Bend(int Channel, int Low, int High) { return midi::Pack(0xE0 | Channel, Low, High); }

// What a synth is left doing by the messages it received, in their order.
struct TSynth {
  std::multiset<std::pair<int, int>> Sounding;  // channel, key
  std::set<std::pair<int, int>> PedalsDown;     // channel, controller
  std::set<int> Bent;                           // channels

  explicit TSynth(const std::vector<sim::Received>& Received) {
    for (const sim::Received& r : Received) {
      if (r.Long) continue;
      const int channel = midi::ChannelOf(r.Short), data1 = midi::Data1Of(r.Short), data2 = midi::Data2Of(r.Short);
      switch (midi::KindOf(r.Short)) {
        case 0x90:
          if (data2 > 0) {
            Sounding.insert({channel, data1});
            break;
          }
          [[fallthrough]];
        case 0x80:
          // One Note Off ends the key however often it was struck.
          Sounding.erase({channel, data1});
          break;
        case 0xB0:
          if (data1 == 120 || data1 == 123) std::erase_if(Sounding, [&](auto n) { return n.first == channel; });
          if (data1 == 121) std::erase_if(PedalsDown, [&](auto p) { return p.first == channel; });
          // A half-damper piano holds its notes at any pedal value above 0.
          if (data1 == 64 || data1 == 66 || data1 == 67) {
            if (data2 > 0) PedalsDown.insert({channel, data1});
            else PedalsDown.erase({channel, data1});
          }
          break;
        case 0xE0:
          if (data1 == 0 && data2 == 0x40) Bent.erase(channel);
          else Bent.insert(channel);
          break;
        default:
          break;
      }
    }
  }
  bool Silent() const { return Sounding.empty() && PedalsDown.empty() && Bent.empty(); }
};

// The short messages other than real-time ones that a device received
// between a system-exclusive message's first block and its F7, where a
// synth reads them as part of the dump.
std::vector<DWORD> ShortsInsideSysEx(const std::vector<sim::Received>& Received) {
  std::vector<DWORD> inside;
  bool open = false;
  for (const sim::Received& r : Received) {
    if (r.Long) {
      if (!r.Bytes.empty()) open = r.Bytes.back() != 0xF7;
    } else if (open && !midi::IsRealTime(r.Short)) {
      inside.push_back(r.Short);
    }
  }
  return inside;
}

class LiveChanges : public EngineFixture {
 public:
  using EngineFixture::engine;
  using EngineFixture::Play;
  using EngineFixture::ShortsTo;
  void Move(int Channel, int Device) { engine->SetChannelDevice(static_cast<std::uint8_t>(Channel), Device); }
  // A dump arriving slowly: its first buffer full, without its end.
  void DumpStart() {
    std::vector<std::uint8_t> first(TMidiInput::SysExBufferSize, 0x01);
    first.front() = 0xF0;
    sim::InjectSysEx(0, first.data(), first.size());
    sim::DeliverNotices();
  }
  void DumpEnd() {
    const std::uint8_t rest[] = {0x02, 0xF7};
    sim::InjectSysEx(0, rest, sizeof rest);
    sim::DeliverNotices();
  }

 protected:
  void Row(const std::function<void()>& Actions) {
    BootAndStart();
    engine->Presets().AddPreset("Alt");  // the same map as "default" to begin with
    engine->Presets().SetItemIndex(0);
    Actions();
    sim::DeliverNotices();
    sim::RunFor(1000);
    sim::DeliverNotices();
  }
};

TEST_F(LiveChanges, EveryNoteEndsWhereItSoundsAndNothingOvertakesPerDevice) {
  struct TRow {
    const char* Name;
    std::function<void(LiveChanges&)> Actions;
    std::map<int, std::vector<DWORD>> Received;  // device: short messages in order
  };
  const TRow rows[] = {
      {"a channel moved while a key is held",
       [](LiveChanges& f) { f.Play(On(0, 60)); f.Move(0, B); f.Play(Off(0, 60)); },
       {{A, {On(0, 60), Off(0, 60)}}, {B, {}}}},
      {"a preset switch while a key is held, the device left stays open",
       [](LiveChanges& f) {
         f.engine->Presets().SetItemIndex(1);
         f.Move(0, B);
         f.engine->Presets().SetItemIndex(0);
         f.Play(On(0, 60));
         f.engine->Presets().SetItemIndex(1);
         f.Play(Off(0, 60));
       },
       {{A, {On(0, 60), Off(0, 60)}}, {B, {}}}},
      {"a delay lowered while a chord waits",
       [](LiveChanges& f) {
         f.engine->SetDelay(A, 300);
         for (int key : {60, 64, 67}) f.Play(On(0, key));
         f.engine->SetDelay(A, 0);
         for (int key : {60, 64, 67}) f.Play(Off(0, key));
       },
       {{A, {On(0, 60), On(0, 64), On(0, 67), Off(0, 60), Off(0, 64), Off(0, 67)}}}},
      {"one key sounding on two devices ends first-on, first-off",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.Move(0, B);
         f.Play(On(0, 60));
         f.Play(Off(0, 60));
         f.Play(Off(0, 60));
       },
       {{A, {On(0, 60), Off(0, 60)}}, {B, {On(0, 60), Off(0, 60)}}}},
      {"a sustain pedal let go after a move lets go on both devices",
       [](LiveChanges& f) {
         f.Play(Control(0, 64, 127));
         f.Move(0, B);
         f.Play(Control(0, 64, 0));
       },
       {{A, {Control(0, 64, 127), Control(0, 64, 0)}}, {B, {Control(0, 64, 0)}}}},
      {"a bend left bent is centred on the device the channel leaves",
       [](LiveChanges& f) {
         f.Play(Bend(0, 0, 0x60));
         f.Move(0, B);
       },
       {{A, {Bend(0, 0, 0x60), Bend(0, 0, 0x40)}}, {B, {}}}},
      {"All Notes Off after a move reaches both devices",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.Move(0, B);
         f.Play(Control(0, 123, 0));
         f.Play(Off(0, 60));
       },
       {{A, {On(0, 60), Control(0, 123, 0)}}, {B, {Control(0, 123, 0), Off(0, 60)}}}},
      {"Reopen with a note held and one queued",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.engine->SetDelay(A, 100);
         f.Play(On(0, 62));
         f.engine->Reopen();
       },
       {{A, {On(0, 60)}}}},  // the close resets A: the held note ends there, the queued one never sounds
      {"another input chosen with a key and a pedal down",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.Play(Control(0, 66, 100));
         f.engine->SetMidiInDevice(1);
       },
       {{A, {On(0, 60), Control(0, 66, 100), Off(0, 60), Control(0, 66, 0)}}}},
      {"a key struck as another input is chosen, its notice not yet handled",
       [](LiveChanges& f) {
         sim::InjectShort(0, On(0, 60));
         f.engine->SetMidiInDevice(1);
       },
       {{A, {On(0, 60), Off(0, 60)}}}},
      {"Note On with velocity 0 ends the note where it sounds",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.Move(0, B);
         f.Play(OnZero(0, 60));
       },
       {{A, {On(0, 60), OnZero(0, 60)}}, {B, {}}}},
      {"a half-damper pedal coming up slowly after a move follows it to 0 on the device left",
       [](LiveChanges& f) {
         f.Play(Control(0, 64, 100));
         f.Move(0, B);
         for (int value : {63, 40, 20, 0}) f.Play(Control(0, 64, value));
       },
       {{A, {Control(0, 64, 100), Control(0, 64, 63), Control(0, 64, 40), Control(0, 64, 20), Control(0, 64, 0)}},
        {B, {Control(0, 64, 63), Control(0, 64, 40), Control(0, 64, 20), Control(0, 64, 0)}}}},
      {"a key struck twice and released once, then struck and released after a move",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.Play(On(0, 60));
         f.Play(Off(0, 60));
         f.Move(0, B);
         f.Play(On(0, 60));
         f.Play(Off(0, 60));
       },
       {{A, {On(0, 60), On(0, 60), Off(0, 60)}}, {B, {On(0, 60), Off(0, 60)}}}},
      {"releases while the channel maps to no device reach where they sound",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.Play(Control(0, 64, 127));
         f.Move(0, NoDevice);
         f.Play(Off(0, 60));
         f.Play(Control(0, 64, 0));
         f.Play(On(0, 62));  // starts nothing anywhere
       },
       {{A, {On(0, 60), Control(0, 64, 127), Off(0, 60), Control(0, 64, 0)}}, {B, {}}}},
      {"an input closed with a key struck three times and a bend left bent",
       [](LiveChanges& f) {
         for (int i = 0; i < 3; ++i) f.Play(On(0, 60));
         f.Play(Bend(0, 0, 0x60));
         f.engine->SetMidiInDevice(1);
       },
       {{A, {On(0, 60), On(0, 60), On(0, 60), Bend(0, 0, 0x60), Off(0, 60), Bend(0, 0, 0x40)}}}},
      {"a delayed note due between the blocks of a slow dump waits for its end",
       [](LiveChanges& f) {
         f.engine->SetDelay(A, 10);
         f.Play(On(0, 60));
         f.DumpStart();
         sim::RunFor(50);
         f.Play(Off(0, 60));
         f.DumpEnd();
       },
       {{A, {On(0, 60), Off(0, 60)}}}},
      {"Panic in the middle of a dump ends the dump first",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.DumpStart();
         f.engine->Panic();
       },
       {}},
      {"an input closed in the middle of a dump ends it before its releases",
       [](LiveChanges& f) {
         f.Play(On(0, 60));
         f.DumpStart();
         f.engine->SetMidiInDevice(1);
       },
       {{A, {On(0, 60), Off(0, 60)}}}},
      {"a sender that stops mid-dump holds notes back for one second at most",
       [](LiveChanges& f) {
         f.DumpStart();
         f.Play(On(0, 60));
         sim::RunFor(TMidiOutput::StalledSysExMilliseconds + 20);
         EXPECT_EQ(f.ShortsTo(A), (std::vector<DWORD>{On(0, 60)}));
         f.Play(Off(0, 60));
       },
       {{A, {On(0, 60), Off(0, 60)}}}},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    SetUp();
    Row([&] { row.Actions(*this); });
    for (const auto& [device, expected] : row.Received) EXPECT_EQ(ShortsTo(device), expected) << "device " << device;
    for (int device : {A, B}) EXPECT_EQ(ShortsInsideSysEx(sim::ReceivedBy(device)), std::vector<DWORD>{}) << "device " << device;
    // The Reopen row's device was reset by its close, which ends what it held.
    if (std::string(row.Name).rfind("Reopen", 0) != 0) {
      for (int device : {A, B}) EXPECT_TRUE(TSynth(sim::ReceivedBy(device)).Silent()) << "device " << device;
    }
    Shutdown();
  }
}

}  // namespace
