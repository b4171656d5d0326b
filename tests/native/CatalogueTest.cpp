// The device catalogue: display names, positions kept for unreadable
// devices, and lookups by name.
#include <gtest/gtest.h>

#include "midi/MidiIO.h"
#include "platform/sim/SimDriver.h"

namespace {

class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override { FreeDeviceCatalogue(); }
};

TEST_F(Catalogue, DisplayNamesJoinProductAndDriverVersion) {
  const struct {
    UINT version;
    const char* expected;
  } cases[] = {{0x0105, "USB MIDI (1.5)"}, {0x010A, "USB MIDI (1.10)"}, {0x0000, "USB MIDI (0.0)"},
               {0xFFFF, "USB MIDI (255.255)"}, {0x12340203, "USB MIDI (2.3)"}};
  for (const auto& c : cases) {
    sim::SetOutputDevices({{.Name = "USB MIDI", .DriverVersion = c.version}});
    sim::SetInputDevices({{.Name = "USB MIDI", .DriverVersion = c.version}});
    BuildDeviceCatalogue();
    ASSERT_EQ(MidiOutDeviceCount, 1);
    EXPECT_EQ(MidiOutDeviceNames[0], c.expected);
    EXPECT_EQ(MidiInDeviceNames[0], c.expected);
  }
}

TEST_F(Catalogue, AProductNameFillingAllCharactersIsTakenWhole) {
  const std::string full(32, 'X');
  sim::SetOutputDevices({{.Name = full, .NameFillsAll = true, .DriverVersion = 0x0100}});
  BuildDeviceCatalogue();
  EXPECT_EQ(MidiOutDeviceNames[0], full + " (1.0)");
}

TEST_F(Catalogue, UnreadableDevicesKeepTheirPositionWithAnEmptyName) {
  sim::SetInputDevices({{.Name = "In A", .DriverVersion = 0x100},
                        {.Name = "In B", .DriverVersion = 0x100, .CapsFail = true},
                        {.Name = "In C", .DriverVersion = 0x100}});
  sim::SetOutputDevices({{.Name = "Out A", .DriverVersion = 0x100, .CapsFail = true},
                         {.Name = "Out B", .DriverVersion = 0x100}});
  BuildDeviceCatalogue();
  EXPECT_EQ(MidiInDeviceNames.Items(), (std::vector<std::string>{"In A (1.0)", "", "In C (1.0)"}));
  EXPECT_EQ(MidiOutDeviceNames.Items(), (std::vector<std::string>{"", "Out B (1.0)"}));
  EXPECT_EQ(MidiInDeviceCount, 3);
  EXPECT_EQ(MidiOutDeviceCount, 2);
  EXPECT_EQ(MidiInDeviceNames.IndexOf(""), 1);
  // Inputs are enumerated completely before outputs.
  const auto calls = sim::Calls();
  std::size_t lastInput = 0, firstOutput = calls.size();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].What == sim::Call::MidiInGetDevCaps) lastInput = i;
    if (calls[i].What == sim::Call::MidiOutGetNumDevs && i < firstOutput) firstOutput = i;
  }
  EXPECT_LT(lastInput, firstOutput);
}

TEST_F(Catalogue, LookupsIgnoreLetterCaseAndTakeTheFirstMatch) {
  sim::SetOutputDevices({{.Name = "Synth", .DriverVersion = 0x105},
                         {.Name = "USB MIDI", .DriverVersion = 0x105},
                         {.Name = "USB MIDI", .DriverVersion = 0x105}});
  BuildDeviceCatalogue();
  const struct {
    const char* name;
    std::int32_t index;
  } cases[] = {{"usb midi (1.5)", 1}, {"USB MIDI (1.5)", 1}, {"SYNTH (1.5)", 0},
               {"USB MIDI (1.5) ", -1}, {"USB MIDI", -1}, {"", -1}};
  for (const auto& c : cases) EXPECT_EQ(MidiOutDeviceNames.IndexOf(c.name), c.index) << c.name;
}

TEST_F(Catalogue, NoDevicesGiveEmptyLists) {
  BuildDeviceCatalogue();
  EXPECT_EQ(MidiInDeviceCount, 0);
  EXPECT_EQ(MidiOutDeviceCount, 0);
  EXPECT_EQ(MidiOutDeviceNames.IndexOf("anything"), -1);
  EXPECT_EQ(MidiInDeviceNames.IndexOf(""), -1);
}

}  // namespace
