// Live changes through the real main window: a key held while the user
// moves its channel or switches the preset still ends where it sounds, and
// arrow keys queued in a list while devices open leave window and engine
// agreeing.
#include <algorithm>

#include "GuiDriver.h"
#include "TestHelpers.h"
#include "VelmoraFixture.h"

namespace {

TComboBox& Row(int Channel) { return *VelmoraForm->ChannelComboBoxes[static_cast<std::size_t>(Channel)]; }

DWORD NoteOff(int Channel, int Note) { return static_cast<DWORD>(0x80 | Channel) | static_cast<DWORD>(Note) << 8; }

void ReleaseNote(int Channel, int Note) {
  sim::InjectShort(GlobalEngine->MidiIn().DeviceIndex(), NoteOff(Channel, Note));
  gui::Pump();
}

std::size_t Count(int Device, DWORD Message) {
  const auto got = sim::ReceivedBy(Device);
  return static_cast<std::size_t>(
      std::count_if(got.begin(), got.end(), [&](const sim::Received& r) { return !r.Long && r.Short == Message; }));
}

// Down-arrow presses posted together, handled in one go as a held key's are.
void QueueDownArrows(TComboBox& Combo, int Presses) {
  for (int i = 0; i < Presses; ++i) PostMessageA(Combo.Handle(), WM_KEYDOWN, VK_DOWN, 1);
  gui::Pump();
}

}  // namespace

TEST_F(VelmoraWindows, AKeyHeldWhileItsRowOrThePresetChangesEndsOnTheDeviceThatPlayedIt) {
  StartProgram();
  sim::ClearReceived();
  PlayNote(0, 60);
  LetTimePass(20);
  gui::ChooseByLetter(Row(0), 'C');  // device 2
  ReleaseNote(0, 60);
  LetTimePass(20);
  EXPECT_EQ(Count(0, NoteOff(0, 60)), 1u) << "the Note Off reached the device that played the note";
  EXPECT_EQ(Count(2, NoteOff(0, 60)), 0u);

  // "Alt" routes channel 0 to device 2; "default" to device 0, which stays
  // open for the other channels when "Alt" is chosen.
  GlobalEngine->Presets().AddPreset("Alt");
  gui::ChooseByLetter(Row(0), 'C');
  gui::ChooseByLetter(VelmoraForm->PresetComboBox, 'd');
  gui::ChooseByLetter(Row(0), 'A');
  sim::ClearReceived();
  PlayNote(0, 62);
  LetTimePass(20);
  gui::ChooseByLetter(VelmoraForm->PresetComboBox, 'A');
  ASSERT_EQ(GlobalEngine->ChannelDevices(0), 2);
  ReleaseNote(0, 62);
  LetTimePass(20);
  EXPECT_EQ(Count(0, NoteOff(0, 62)), 1u) << "across the preset switch too";
  EXPECT_EQ(Count(2, NoteOff(0, 62)), 0u);
}

TEST_F(VelmoraWindows, ArrowKeysQueuedInAListWhileDevicesOpenLeaveWindowAndEngineAgreeing) {
  StartProgram();
  QueueDownArrows(Row(0), 2);
  const int row = Row(0).ItemIndex();
  EXPECT_EQ(row, 2);
  EXPECT_EQ(GlobalEngine->ChannelDevices(0), row);
  EXPECT_TRUE(sim::OutputOpen(row));
  EXPECT_EQ(GlobalEngine->MidiOutStates(row), mpsOpen);

  QueueDownArrows(VelmoraForm->MidiInComboBox, 3);
  const int input = VelmoraForm->MidiInComboBox.ItemIndex();
  EXPECT_EQ(GlobalEngine->MidiInDevice(), input);
  EXPECT_EQ(GlobalEngine->MidiIn().DeviceIndex(), input);
  EXPECT_TRUE(sim::InputOpen(input));
  EXPECT_FALSE(sim::InputOpen(1 - input));
}
