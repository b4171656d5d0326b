// An operation asked for while another runs (from a state listener, as a
// user action let in by the windows would be) runs after it, once, and
// leaves the engine, the ports and the stored presets consistent.
#include <functional>
#include <optional>
#include <stdexcept>

#include "midi/MidiMessages.h"
#include "settings/IniFile.h"
#include "tests/native/EngineFixture.h"

namespace {

class OperationOrder : public EngineFixture {
 protected:
  // Presets "default", "B" and "C" route every channel to device 0, 1 and 2.
  void BootWithThreePresets() {
    BootAndStart();
    for (int device = 1; device <= 2; ++device) {
      engine->Presets().AddPreset(device == 1 ? "B" : "C");
      for (std::uint8_t c = 0; c < ChannelCount; ++c) engine->SetChannelDevice(c, device);
    }
    engine->Presets().SetItemIndex(0);
    sim::DeliverNotices();
  }
  std::int32_t StoredDevice(const std::string& Preset, int Channel) {
    const std::string name = WrittenSettings().ReadString("Preset_" + Preset, "Device" + std::to_string(Channel), "");
    return MidiOutDeviceNames.IndexOf(name);
  }
};

TEST_F(OperationOrder, AnOperationAskedForDuringAPortsOpenOrCloseRunsAfterItAndLeavesAllConsistent) {
  enum class Asked { Input, Reopen, Preset };
  struct TPort {
    const char* Name;
    bool Input;
    std::int32_t Device;
    TMidiPortState State;
    std::int32_t StartPreset;                 // current before the outer operation
    std::function<void(TVelmoraEngine&)> Outer;  // makes the port report State
  };
  auto selectPreset = [](std::int32_t index) { return [index](TVelmoraEngine& e) { e.Presets().SetItemIndex(index); }; };
  auto selectInput = [](TVelmoraEngine& e) { e.SetMidiInDevice(1); };
  const TPort ports[] = {
      {"input 0 closing", true, 0, mpsClosing, 0, selectInput},
      {"input 1 opening", true, 1, mpsOpening, 0, selectInput},
      {"output 0 closing", false, 0, mpsClosing, 0, selectPreset(1)},
      {"output 0 opening", false, 0, mpsOpening, 1, selectPreset(0)},
      {"output 1 opening", false, 1, mpsOpening, 0, selectPreset(1)},
      {"output 1 closing", false, 1, mpsClosing, 1, selectPreset(0)},
      {"output 2 opening", false, 2, mpsOpening, 0, selectPreset(2)},
      {"output 2 closing", false, 2, mpsClosing, 2, selectPreset(0)},
  };
  for (const TPort& port : ports) {
    for (const Asked asked : {Asked::Input, Asked::Reopen, Asked::Preset}) {
      SCOPED_TRACE(std::string(port.Name) + ", asked: " + (asked == Asked::Input ? "input" : asked == Asked::Reopen ? "Reopen" : "preset"));
      SetUp();
      BootWithThreePresets();
      engine->Presets().SetItemIndex(port.StartPreset);
      sim::DeliverNotices();
      // Another input than the outer operation leaves open; a preset it does not select.
      const std::int32_t askedInput = port.Input ? 0 : 1;
      const std::int32_t askedPreset = port.StartPreset == 1 || (!port.Input && port.Device == 1) ? 2 : 1;
      std::optional<std::int32_t> lastToldInput;
      bool askedOnce = false;
      auto ask = [&] {
        if (askedOnce) return;
        askedOnce = true;
        if (asked == Asked::Input) engine->SetMidiInDevice(askedInput);
        if (asked == Asked::Reopen) engine->Reopen();
        if (asked == Asked::Preset) engine->Presets().SetItemIndex(askedPreset);
      };
      engine->OnMidiInDeviceChange = [&](TVelmoraEngine&, std::int32_t index) { lastToldInput = index; };
      engine->OnMidiInStateChange = [&](TVelmoraEngine& e, TMidiPortState state) {
        if (port.Input && state == port.State && e.MidiIn().DeviceIndex() == port.Device) ask();
      };
      engine->OnMidiOutStateChange = [&](TVelmoraEngine&, std::int32_t device, TMidiPortState state) {
        if (!port.Input && state == port.State && device == port.Device) ask();
      };
      port.Outer(*engine);
      sim::DeliverNotices();
      ASSERT_TRUE(askedOnce) << "the outer operation made the port report its state";

      if (asked == Asked::Input) {
        EXPECT_EQ(engine->MidiInDevice(), askedInput);
        EXPECT_EQ(lastToldInput, std::optional<std::int32_t>(askedInput)) << "the window was told last";
      }
      if (asked == Asked::Preset) {
        EXPECT_EQ(engine->Presets().ItemIndex(), askedPreset);
      }
      EXPECT_EQ(engine->MidiIn().DeviceIndex(), engine->MidiInDevice());
      EXPECT_EQ(engine->MidiIn().State(), mpsOpen);
      for (int input = 0; input < 2; ++input)
        EXPECT_EQ(sim::InputOpen(input), input == engine->MidiInDevice()) << "one driver handle, the engine's";
      const std::int32_t current = engine->Presets().ItemIndex();
      for (std::int32_t device = 0; device < 3; ++device) {
        EXPECT_EQ(engine->MidiOuts(device).RefCount() > 0, sim::OutputOpen(device)) << "device " << device;
        EXPECT_EQ(engine->MidiOuts(device).RefCount() > 0, engine->MidiOutStates(device) == mpsOpen);
      }
      for (std::uint8_t c = 0; c < ChannelCount; ++c) EXPECT_EQ(engine->ChannelDevices(c), current);
      for (int preset = 0; preset < 3; ++preset) {
        const char* name = preset == 0 ? "default" : preset == 1 ? "B" : "C";
        for (int c = 0; c < ChannelCount; ++c) EXPECT_EQ(StoredDevice(name, c), preset) << name << " channel " << c;
      }
      Shutdown();
    }
  }
}

}  // namespace

namespace {

// A handler that asks for an operation and then throws: what it asked for
// runs as the failed operation ends, not inside some later one.
TEST_F(OperationOrder, AnOperationAskedForByAHandlerThatThrowsRunsWhenTheOuterOneEnds) {
  BootAndStart();
  engine->OnDelayChange = [](TVelmoraEngine& e, std::int32_t device, std::int32_t) {
    if (device != 0) return;
    e.SetDelay(1, 250);
    throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(engine->SetDelay(0, 100), std::runtime_error);
  EXPECT_EQ(engine->Delays(1), 250) << "ran when the failed operation ended";
  engine->OnDelayChange = nullptr;
}

}  // namespace
