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

DWORD On(int channel, int key) { return midi::Pack(0x90 | channel, key, 100); }
DWORD Off(int channel, int key) { return midi::Pack(0x80 | channel, key, 0); }
DWORD OnZero(int channel, int key) { return midi::Pack(0x90 | channel, key, 0); }
DWORD Control(int channel, int controller, int value) { return midi::Pack(0xB0 | channel, controller, value); }
DWORD Bend(int channel, int low, int high) { return midi::Pack(0xE0 | channel, low, high); }

// What a synth is left doing by the messages it received, in their order.
struct TSynth {
  std::multiset<std::pair<int, int>> Sounding;  // channel, key
  std::set<std::pair<int, int>> PedalsDown;     // channel, controller
  std::set<int> Bent;                           // channels

  explicit TSynth(const std::vector<sim::Received>& received) {
    for (const sim::Received& r : received) {
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
          if (auto found = Sounding.find({channel, data1}); found != Sounding.end()) Sounding.erase(found);
          break;
        case 0xB0:
          if (data1 == 120 || data1 == 123) std::erase_if(Sounding, [&](auto n) { return n.first == channel; });
          if (data1 == 121) std::erase_if(PedalsDown, [&](auto p) { return p.first == channel; });
          if (data1 == 64 || data1 == 66 || data1 == 67) {
            if (data2 >= 64) PedalsDown.insert({channel, data1});
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

class LiveChanges : public EngineFixture {
 public:
  using EngineFixture::engine;
  using EngineFixture::Play;
  void Move(int channel, int device) { engine->SetChannelDevice(static_cast<std::uint8_t>(channel), device); }

 protected:
  void Row(const std::function<void()>& actions) {
    BootAndStart();
    engine->Presets().AddPreset("Alt");  // the same map as "default" to begin with
    engine->Presets().SetItemIndex(0);
    actions();
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
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    SetUp();
    Row([&] { row.Actions(*this); });
    for (const auto& [device, expected] : row.Received) EXPECT_EQ(ShortsTo(device), expected) << "device " << device;
    // The Reopen row's device was reset by its close, which ends what it held.
    if (std::string(row.Name).rfind("Reopen", 0) != 0) {
      for (int device : {A, B}) EXPECT_TRUE(TSynth(sim::ReceivedBy(device)).Silent()) << "device " << device;
    }
    Shutdown();
  }
}

}  // namespace
