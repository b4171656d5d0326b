// The main window as the user sees and drives it: the first start, the
// channel rows, the lamps, the shortcuts and the end of the program.
#include <algorithm>
#include <chrono>
#include <utility>

#include "GuiDriver.h"
#include "VelmoraFixture.h"
#include "platform/Platform.h"

namespace {

TComboBox& Row(int Channel) { return *VelmoraForm->ChannelComboBoxes[static_cast<std::size_t>(Channel)]; }
TLED& Lamp(int Channel) { return *VelmoraForm->ChannelLEDs[static_cast<std::size_t>(Channel)]; }

// The user picks a list entry by typing its first letter.
void ChooseByLetter(TComboBox& Combo, char Letter) { gui::Type(Combo.Handle(), std::string(1, Letter)); }

bool Received(int Device, DWORD Message) {
  const auto got = sim::ReceivedBy(Device);
  return std::any_of(got.begin(), got.end(), [&](const sim::Received& r) { return !r.Long && r.Short == Message; });
}

DWORD NoteOn(int Channel, int Note) { return static_cast<DWORD>(0x90 | Channel) | static_cast<DWORD>(Note) << 8 | 100u << 16; }

}  // namespace

TEST_F(VelmoraWindows, FirstStartWithoutSettingsShowsDefaultsFromTheEngine) {
  StartProgram();
  EXPECT_EQ(VelmoraForm->Caption(), "Velmora");
  EXPECT_EQ(VelmoraForm->ClientWidth(), 768);
  EXPECT_EQ(VelmoraForm->ClientHeight(), 376);
  EXPECT_EQ(VelmoraForm->Left(), 0);
  EXPECT_EQ(VelmoraForm->Top(), 0);
  EXPECT_EQ(VelmoraForm->MidiInComboBox.ItemIndex(), 0);
  EXPECT_EQ(VelmoraForm->MidiInComboBox.Text(), "Keys In (1.0)");
  EXPECT_EQ(VelmoraForm->MidiInLED->BrushColor(), LEDColors[mpsOpen]);
  EXPECT_EQ(VelmoraForm->PresetComboBox.Text(), "default");
  for (int channel = 0; channel < 16; ++channel) {
    SCOPED_TRACE(channel);
    EXPECT_EQ(Row(channel).ItemIndex(), 0);
    EXPECT_EQ(Row(channel).ItemCount(), 4);
    EXPECT_EQ(Lamp(channel).BrushColor(), LEDColors[mpsOpen]);
  }
  EXPECT_TRUE(sim::OutputOpen(0));
  EXPECT_FALSE(sim::OutputOpen(1));
  // The designed font stays the stored value even where its face is missing.
  EXPECT_EQ(VelmoraForm->UIFont->Name, "MS UI Gothic");
  EXPECT_EQ(VelmoraForm->UIFont->Color, -16777208);
}

// A settings file that cannot be written while the program runs (a backup
// tool holds it): a mark in the title and the reason in the hint, no box;
// the next save that works clears the mark.
TEST_F(VelmoraWindows, ASettingsFileThatCannotBeWrittenIsMarkedInTheTitleWithoutABox) {
  StartProgram();
  const auto titleBecomes = [](const std::string& title) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (VelmoraForm->Caption() != title && std::chrono::steady_clock::now() < deadline) gui::Pump();
    return VelmoraForm->Caption() == title;
  };
  sim::FailCall(sim::Call::ReplaceFile, MMSYSERR_ERROR, -1);
  GlobalEngine->Presets().AddPreset("Live");  // storing default's map fails
  EXPECT_TRUE(titleBecomes(std::string("Velmora") + TVelmoraForm::SettingsFaultMark));
  EXPECT_TRUE(Errors.empty()) << "no box is shown while the program runs";
  sim::ClearReceived();
  gui::PressKey(VelmoraForm->Handle(), VK_SPACE, true);  // Panic still answers
  EXPECT_FALSE(sim::ReceivedBy(0).empty());
  sim::ClearFailures();
  GlobalEngine->Presets().SetItemIndex(0);  // this save works, and carries the failed one
  EXPECT_TRUE(titleBecomes("Velmora"));
  EXPECT_EQ(ReadSetting("Preset_default", "Device0"), OutputName(0));
}

TEST_F(VelmoraWindows, ChoosingADeviceInARowRoutesThatChannel) {
  StartProgram();
  ChooseByLetter(Row(9), 'C');  // Cello Module, device 2
  EXPECT_EQ(GlobalEngine->ChannelDevices(9), 2);
  EXPECT_EQ(GlobalEngine->ChannelDevices(8), 0);
  EXPECT_TRUE(sim::OutputOpen(2));
  EXPECT_EQ(Lamp(9).BrushColor(), LEDColors[mpsOpen]);
  EXPECT_EQ(VelmoraForm->ChannelLabels[9]->Caption(), "9");

  sim::ClearReceived();
  PlayNote(9, 60);
  PlayNote(8, 62);
  LetTimePass(20);
  EXPECT_TRUE(Received(2, NoteOn(9, 60)));
  EXPECT_FALSE(Received(2, NoteOn(8, 62)));
  EXPECT_TRUE(Received(0, NoteOn(8, 62)));

  // Back to the first device: the last user of device 2 has gone.
  ChooseByLetter(Row(9), 'A');
  EXPECT_EQ(GlobalEngine->ChannelDevices(9), 0);
  EXPECT_FALSE(sim::OutputOpen(2));
}

TEST_F(VelmoraWindows, ChannelLabelsAreRightAlignedInBothColumns) {
  StartProgram();
  for (int channel : {0, 7, 8, 10, 15}) {
    SCOPED_TRACE(channel);
    const TLabel& label = *VelmoraForm->ChannelLabels[static_cast<std::size_t>(channel)];
    EXPECT_EQ(label.Left() + label.Width(), channel < 8 ? 22 : 398);
  }
}

TEST_F(VelmoraWindows, LampsOfChannelsSharingADeviceChangeTogether) {
  StartProgram();
  ChooseByLetter(Row(3), 'D');
  // Device 3 is open already: the second row shows the open colour at once.
  ChooseByLetter(Row(12), 'D');
  EXPECT_EQ(Lamp(3).BrushColor(), LEDColors[mpsOpen]);
  EXPECT_EQ(Lamp(12).BrushColor(), LEDColors[mpsOpen]);

  // The device goes away; Reopen (Ctrl+R) closes everything and opens it
  // again, which fails for device 3 only: it does not answer, and is lost.
  sim::SetOutputPresent(3, false);
  gui::PressKey(Row(0).Handle(), 'R', true);
  EXPECT_EQ(Lamp(3).BrushColor(), LEDColors[mpsLost]);
  EXPECT_EQ(Lamp(12).BrushColor(), LEDColors[mpsLost]);
  EXPECT_EQ(Lamp(4).BrushColor(), LEDColors[mpsOpen]);

  sim::SetOutputPresent(3, true);
  gui::PressKey(Row(0).Handle(), 'R', true);
  EXPECT_EQ(Lamp(3).BrushColor(), LEDColors[mpsOpen]);
  EXPECT_EQ(Lamp(12).BrushColor(), LEDColors[mpsOpen]);
}

TEST_F(VelmoraWindows, SelectionsMadeByTheEngineRunNoChangeHandler) {
  StartProgram();
  int changes = 0;
  std::vector<TComboBox*> combos = {&VelmoraForm->MidiInComboBox, &VelmoraForm->PresetComboBox};
  for (auto& row : VelmoraForm->ChannelComboBoxes) combos.push_back(row.get());
  for (TComboBox* combo : combos) {
    combo->OnChange = [&changes, handler = combo->OnChange](TComboBox& sender) {
      ++changes;
      handler(sender);
    };
  }
  int listClicks = 0;
  EditPresetsDialog->PresetsListBox.OnClick = [&listClicks, handler = EditPresetsDialog->PresetsListBox.OnClick](TListBox& sender) {
    ++listClicks;
    handler(sender);
  };

  GlobalEngine->SetChannelDevice(5, 1);
  GlobalEngine->SetMidiInDevice(1);
  GlobalEngine->Presets().AddPreset("Live");
  GlobalEngine->Presets().SetItemIndex(0);
  gui::Pump();
  EXPECT_EQ(Row(5).ItemIndex(), 1);
  EXPECT_EQ(VelmoraForm->MidiInComboBox.ItemIndex(), 1);
  EXPECT_EQ(VelmoraForm->PresetComboBox.Text(), "default");
  EXPECT_EQ(EditPresetsDialog->PresetsListBox.ItemIndex(), 0);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(listClicks, 0);

  // The counters do count the user's choices.
  ChooseByLetter(Row(5), 'C');
  ChooseByLetter(VelmoraForm->PresetComboBox, 'L');
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(GlobalEngine->Presets().CurrentName(), "Live");
  gui::PressKey(EditPresetsDialog->PresetsListBox.Handle(), VK_UP);
  EXPECT_EQ(listClicks, 1);
  EXPECT_EQ(GlobalEngine->Presets().CurrentName(), "default");
}

TEST_F(VelmoraWindows, ShortcutsWorkWhereverTheFocusIsInTheWindow) {
  StartProgram();
  // Ctrl+O and Ctrl+P from a channel row show the two modeless dialogs.
  gui::PressKey(Row(10).Handle(), 'O', true);
  EXPECT_TRUE(OptionDialog->Visible());
  gui::PressKey(VelmoraForm->MidiInComboBox.Handle(), 'P', true);
  EXPECT_TRUE(EditPresetsDialog->Visible());

  // F1 shows the version dialog modally: the main window waits meanwhile.
  bool modalSeen = false;
  gui::WhenModalLoopRuns([&] {
    modalSeen = VersionDialog->Visible() && VersionDialog->Modal() && !IsWindowEnabled(VelmoraForm->Handle());
    gui::PressKey(VersionDialog->OkButton.Handle(), VK_ESCAPE);
  });
  gui::PressKey(VelmoraForm->PresetComboBox.Handle(), VK_F1);
  EXPECT_TRUE(gui::ModalActionRan());
  EXPECT_TRUE(modalSeen);
  EXPECT_FALSE(VersionDialog->Visible());
  EXPECT_TRUE(IsWindowEnabled(VelmoraForm->Handle()));

  // Ctrl+Z minimises the application.
  gui::PressKey(VelmoraForm->OptionSetupButton.Handle(), 'Z', true);
  EXPECT_TRUE(IsIconic(VelmoraForm->Handle()));
}

TEST_F(VelmoraWindows, CtrlQEndsTheProgramAndTheFirstExitWritesEverySection) {
  StartProgram();
  VelmoraForm->SetPosition(40, 30);
  gui::PressKey(Row(2).Handle(), 'Q', true);
  ASSERT_TRUE(Program->App().Terminated());
  Program->Run();  // the loop ends at once
  EndProgram();

  for (const char* section : {"VelmoraEngine", "MidiOutDelays", "Presets", "Preset_default", "Font",
                              "Velmora", "OptionDialog", "EditPresetsDialog", "RenamePresetDialog"}) {
    EXPECT_TRUE(SectionExists(section)) << section;
  }
  EXPECT_EQ(ReadSetting("Velmora", "Left"), "40");
  EXPECT_EQ(ReadSetting("Velmora", "Top"), "30");
  EXPECT_EQ(ReadSetting("Font", "Name"), "MS UI Gothic");
  EXPECT_EQ(ReadSetting("Font", "Charset"), "128");
  EXPECT_EQ(ReadSetting("Font", "Color"), "-16777208");
  EXPECT_EQ(ReadSetting("Font", "Size"), "9");
  EXPECT_EQ(ReadSetting("Font", "Style"), "0");
  EXPECT_EQ(ReadSetting("Preset_default", "Device15"), OutputName(0));
  EXPECT_EQ(ReadSetting("VelmoraEngine", "MidiInDeviceName"), "Keys In (1.0)");

  // An end before the first idle moment (a window that failed to build, a
  // session ended at once) has loaded neither the font nor the engine's
  // settings, and stores neither over the file's.
  std::string stored = SettingsText();
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"Name=MS UI Gothic", "Name=Arial"},
                                 {"TimerInterval=4", "TimerInterval=9"}, {"Delay1=0", "Delay1=250"}}) {
    ASSERT_NE(stored.find(from), std::string::npos) << from;
    stored.replace(stored.find(from), from.size(), to);
  }
  ASSERT_TRUE(platform::ReplaceFileText(SettingsFile(), stored));
  Program = std::make_unique<TVelmoraProgram>();
  EndProgram();
  EXPECT_EQ(ReadSetting("Font", "Name"), "Arial");
  EXPECT_EQ(ReadSetting("VelmoraEngine", "TimerInterval"), "9");
  EXPECT_EQ(ReadSetting("MidiOutDelays", "Delay1"), "250");
}

TEST_F(VelmoraWindows, StoredSettingsComeBackAtTheNextStart) {
  StartProgram();
  ChooseByLetter(Row(1), 'B');
  ChooseByLetter(VelmoraForm->MidiInComboBox, 'P');
  VelmoraForm->SetPosition(100, 50);
  TFont font = *VelmoraForm->UIFont;
  font.Name = "Courier New";
  font.SetSize(11);
  font.Style = fsBold | fsItalic;
  font.Color = 0x123456;
  VelmoraForm->OptionDialogFontChange(*OptionDialog, font);
  EndProgram();

  StartProgram();
  EXPECT_EQ(Row(1).ItemIndex(), 1);
  EXPECT_EQ(VelmoraForm->MidiInComboBox.ItemIndex(), 1);
  EXPECT_EQ(VelmoraForm->Left(), 100);
  EXPECT_EQ(VelmoraForm->Top(), 50);
  EXPECT_EQ(*VelmoraForm->UIFont, font);
  EXPECT_EQ(VelmoraForm->Font(), font);
  EXPECT_EQ(OptionDialog->Font(), font);
  EXPECT_EQ(EditPresetsDialog->Font(), font);
  EXPECT_EQ(RenamePresetDialog->Font(), font);
  EXPECT_NE(VersionDialog->Font(), font);
}
