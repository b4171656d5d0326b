// The stage controls through the real windows: the option dialog's row for
// presets by Program Change, stored and read back; a Program Change that
// switches the preset; and Ctrl+Space, the panic, from any window.
#include <algorithm>

#include "GuiDriver.h"
#include "TestHelpers.h"
#include "VelmoraFixture.h"
#include "ui/EditPresetsDlg.h"

namespace {

bool Received(int Device, DWORD Message) {
  const auto got = sim::ReceivedBy(Device);
  return std::any_of(got.begin(), got.end(), [&](const sim::Received& r) { return !r.Long && r.Short == Message; });
}

DWORD Control(int Channel, int Controller) { return static_cast<DWORD>(0xB0 | Channel) | static_cast<DWORD>(Controller) << 8; }

}  // namespace

TEST_F(VelmoraWindows, TheProgramChangeChannelIsChosenOnTheMiscPageStoredAndReadBack) {
  StartProgram();
  TComboBox& row = OptionDialog->PresetSwitchComboBox;
  EXPECT_EQ(row.Text(), "Off");
  gui::ChooseByLetter(row, '9');
  EXPECT_EQ(GlobalEngine->PresetSwitchChannel(), 9);
  // The row fits its page.
  EXPECT_LE(row.Left() + row.Width(), OptionDialog->MiscTabSheet.ClientWidth());
  EXPECT_LE(row.Top() + row.Height(), OptionDialog->MiscTabSheet.ClientHeight());

  GlobalEngine->Presets().AddPreset("Alt");
  GlobalEngine->Presets().SetItemIndex(0);
  sim::InjectShort(0, 0xC9 | (1u << 8));  // Program Change 1 on channel 9
  gui::Pump();
  gui::Pump();
  EXPECT_EQ(VelmoraForm->PresetComboBox.Text(), "Alt");

  EndProgram();
  StartProgram();
  EXPECT_EQ(OptionDialog->PresetSwitchComboBox.Text(), "9");
  EXPECT_EQ(GlobalEngine->PresetSwitchChannel(), 9);
}

TEST_F(VelmoraWindows, CtrlSpaceSilencesEveryOpenDeviceFromAnyWindow) {
  StartProgram();
  gui::Click(VelmoraForm->OptionSetupButton.Handle());
  gui::Click(VelmoraForm->EditPresetButton.Handle());
  const HWND focusedIn[] = {VelmoraForm->MidiInComboBox.Handle(), OptionDialog->TimerIntervalEdit.Handle(),
                            EditPresetsDialog->PresetsListBox.Handle()};
  for (const HWND target : focusedIn) {
    PlayNote(0, 60);
    LetTimePass(20);
    sim::ClearReceived();
    gui::PressKey(target, VK_SPACE, true);
    EXPECT_TRUE(Received(0, 0x80 | (60u << 8))) << "a Note Off for the held note";
    for (int channel = 0; channel < 16; ++channel)
      for (int controller : {64, 120, 121, 123}) EXPECT_TRUE(Received(0, Control(channel, controller)));
  }
  EXPECT_EQ(VelmoraForm->PanicCommand.Caption(), "Panic");
}
