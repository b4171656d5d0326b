// The preset editor and the rename dialog: commands follow the current
// preset, and every command keeps each preset's own channel map.
#include "TestHelpers.h"
#include "VelmoraFixture.h"

namespace {

TEditPresetsDialog& Editor() { return *EditPresetsDialog; }
TPresets& Presets() { return GlobalEngine->Presets(); }

void AddWithCtrlA(const std::string& Name) {
  gui::Type(Editor().NewPresetEdit.Handle(), Name);
  gui::PressKey(Editor().NewPresetEdit.Handle(), 'A', true);
}

// Routes channel 0 to a device as the user does in the main window.
void RouteChannel0(char DeviceLetter) {
  gui::ChooseByLetter(*VelmoraForm->ChannelComboBoxes[0], DeviceLetter);
}

int Channel0() { return GlobalEngine->ChannelDevices(0); }

// Renames the current preset through the rename dialog: the text typed,
// then Enter.
void RenameTo(const std::string& Name, WORD ClosingKey = VK_RETURN) {
  gui::WhenModalLoopRuns([Name, ClosingKey] {
    TEdit& edit = RenamePresetDialog->PresetEdit;
    SetWindowTextA(edit.Handle(), "");
    gui::Type(edit.Handle(), Name);
    gui::PressKey(edit.Handle(), ClosingKey);
    // Still no result: Ok was disabled, and the dialog is left with Esc.
    if (RenamePresetDialog->ModalResult() == mrNone) gui::PressKey(edit.Handle(), VK_ESCAPE);
  });
  gui::Click(Editor().RenamePresetSpeedButton.Handle());
  EXPECT_TRUE(gui::ModalActionRan());
}

}  // namespace

TEST_F(VelmoraWindows, CommandsFollowTheCurrentPreset) {
  StartProgram();
  Presets().AddPreset("One");
  Presets().AddPreset("Two");
  Presets().AddPreset("Three");
  gui::Pump();
  struct Case {
    int current;
    bool up, rename, del, down;
  };
  const Case cases[] = {
      {0, false, false, false, false},
      {1, false, true, true, true},
      {2, true, true, true, true},
      {3, true, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.current);
    Presets().SetItemIndex(c.current);
    gui::Pump();
    EXPECT_EQ(Editor().PresetsListBox.ItemIndex(), c.current);
    EXPECT_EQ(Editor().MovePresetUpSpeedButton.Enabled(), c.up);
    EXPECT_EQ(Editor().MovePresetUpCommand.Enabled(), c.up);
    EXPECT_EQ(Editor().RenamePresetSpeedButton.Enabled(), c.rename);
    EXPECT_EQ(Editor().RenamePresetCommand.Enabled(), c.rename);
    EXPECT_EQ(Editor().DeletePresetSpeedButton.Enabled(), c.del);
    EXPECT_EQ(Editor().DeletePresetCommand.Enabled(), c.del);
    EXPECT_EQ(Editor().MovePresetDownSpeedButton.Enabled(), c.down);
    EXPECT_EQ(Editor().MovePresetDownCommand.Enabled(), c.down);
    EXPECT_TRUE(Editor().AddPresetSpeedButton.Enabled());
  }
  // A disabled command's shortcut does nothing.
  Presets().SetItemIndex(0);
  gui::PressKey(Editor().PresetsListBox.Handle(), 'D', true);
  EXPECT_EQ(Presets().Count(), 4);
}

TEST_F(VelmoraWindows, NewNameEditDropsClosingBracketsAndKeysWorkAsDesigned) {
  StartProgram();
  gui::Click(VelmoraForm->EditPresetButton.Handle());
  ASSERT_TRUE(Editor().Visible());
  gui::Type(Editor().NewPresetEdit.Handle(), "a]b");
  EXPECT_EQ(Editor().NewPresetEdit.Text(), "ab");
  gui::Type(Editor().NewPresetEdit.Handle(), " c");
  EXPECT_EQ(Editor().NewPresetEdit.Text(), "ab c");

  // Enter closes the dialog and adds nothing; Ctrl+A adds (and selects no text).
  gui::PressKey(Editor().NewPresetEdit.Handle(), VK_RETURN);
  EXPECT_FALSE(Editor().Visible());
  EXPECT_EQ(Presets().Count(), 1);
  gui::Click(VelmoraForm->EditPresetButton.Handle());
  gui::PressKey(Editor().NewPresetEdit.Handle(), 'A', true);
  EXPECT_EQ(Presets().CurrentName(), "ab c");
  EXPECT_EQ(Editor().NewPresetEdit.Text(), "");

  // An empty Add does nothing; a name differing in letter case selects.
  Presets().SetItemIndex(0);
  gui::PressKey(Editor().NewPresetEdit.Handle(), 'A', true);
  EXPECT_EQ(Presets().Count(), 2);
  AddWithCtrlA("AB C");
  EXPECT_EQ(Presets().Count(), 2);
  EXPECT_EQ(Presets().ItemIndex(), 1);
  EXPECT_EQ(Editor().NewPresetEdit.Text(), "");
}

TEST_F(VelmoraWindows, EveryEditorCommandKeepsEachPresetsMap) {
  StartProgram();
  gui::Click(VelmoraForm->EditPresetButton.Handle());
  AddWithCtrlA("Live");
  RouteChannel0('B');
  AddWithCtrlA("Stage");
  EXPECT_EQ(Channel0(), 0) << "a preset never stored routes every channel to the first device";
  RouteChannel0('C');
  AddWithCtrlA("Studio");
  RouteChannel0('D');
  ASSERT_EQ(Editor().PresetItems(), (std::vector<std::string>{"default", "Live", "Stage", "Studio"}));

  // Up with the speed button, Down with Ctrl+B: the moved preset stays
  // current at its new place and keeps its map.
  gui::Click(Editor().MovePresetUpSpeedButton.Handle());
  EXPECT_EQ(Editor().PresetItems(), (std::vector<std::string>{"default", "Live", "Studio", "Stage"}));
  EXPECT_EQ(Editor().PresetsListBox.ItemIndex(), 2);
  EXPECT_EQ(Channel0(), 3);
  gui::PressKey(Editor().PresetsListBox.Handle(), 'B', true);
  EXPECT_EQ(Editor().PresetItems(), (std::vector<std::string>{"default", "Live", "Stage", "Studio"}));
  EXPECT_EQ(Editor().PresetsListBox.ItemIndex(), 3);
  EXPECT_EQ(Channel0(), 3);

  // Selecting in the list loads each preset's own map.
  struct Pick {
    WORD key;
    const char* preset;
    int device;
  };
  for (const Pick& pick : {Pick{VK_UP, "Stage", 2}, Pick{VK_UP, "Live", 1}, Pick{VK_UP, "default", 0},
                           Pick{VK_END, "Studio", 3}}) {
    SCOPED_TRACE(pick.preset);
    gui::PressKey(Editor().PresetsListBox.Handle(), pick.key);
    EXPECT_EQ(Presets().CurrentName(), pick.preset);
    EXPECT_EQ(VelmoraForm->PresetComboBox.Text(), pick.preset);
    EXPECT_EQ(Channel0(), pick.device);
  }

  // Rename Stage to Concert: the map follows the name.
  Presets().SetItemIndex(2);
  gui::Pump();
  RenameTo("Concert");
  EXPECT_EQ(Editor().PresetItems(), (std::vector<std::string>{"default", "Live", "Concert", "Studio"}));
  EXPECT_EQ(Channel0(), 2);

  // Delete Concert: the preset that took its place becomes current with its map.
  gui::PressKey(Editor().NewPresetEdit.Handle(), 'D', true);
  EXPECT_EQ(Editor().PresetItems(), (std::vector<std::string>{"default", "Live", "Studio"}));
  EXPECT_EQ(Presets().CurrentName(), "Studio");
  EXPECT_EQ(Channel0(), 3);
  // Deleting the last entry makes the new last one current.
  gui::Click(Editor().DeletePresetSpeedButton.Handle());
  EXPECT_EQ(Presets().CurrentName(), "Live");
  EXPECT_EQ(Channel0(), 1);
  EndProgram();

  EXPECT_EQ(ReadSetting("Preset_default", "Device0"), OutputName(0));
  EXPECT_EQ(ReadSetting("Preset_Live", "Device0"), OutputName(1));
  EXPECT_EQ(ReadSetting("Preset_Concert", "Device0"), OutputName(2));
  EXPECT_EQ(ReadSetting("Preset_Studio", "Device0"), OutputName(3));
  EXPECT_EQ(ReadSetting("Presets", "PresetsCount"), "1");
  EXPECT_EQ(ReadSetting("Presets", "PresetName1"), "Live");
}

TEST_F(VelmoraWindows, RenameDialogOffersOkOnlyForANewName) {
  StartProgram();
  Presets().AddPreset("Piano");
  Presets().AddPreset("Organ");
  gui::Pump();
  gui::Click(VelmoraForm->EditPresetButton.Handle());

  struct Case {
    const char* typed;
    bool ok;
  };
  const Case cases[] = {{"Organ", false}, {"piano", false}, {"", false}, {"Strings", true},
                        {"DEFAULT", false}, {"  Organ ", false}, {"Organ 2", true}};
  bool opensDisabled = true;
  std::vector<bool> offered;
  gui::WhenModalLoopRuns([&] {
    opensDisabled = !RenamePresetDialog->OkButton.Enabled() && RenamePresetDialog->PresetName() == "Organ";
    for (const Case& c : cases) {
      gui::Paste(RenamePresetDialog->PresetEdit, c.typed);
      offered.push_back(RenamePresetDialog->OkButton.Enabled());
    }
    gui::Paste(RenamePresetDialog->PresetEdit, "Organ");
    gui::PressKey(RenamePresetDialog->PresetEdit.Handle(), VK_RETURN);  // Ok disabled: stays open
    const bool stillOpen = RenamePresetDialog->ModalResult() == mrNone;
    offered.push_back(stillOpen);
    gui::Paste(RenamePresetDialog->PresetEdit, "Strings");
    gui::PressKey(RenamePresetDialog->PresetEdit.Handle(), VK_ESCAPE);
  });
  gui::Click(Editor().RenamePresetSpeedButton.Handle());
  ASSERT_TRUE(gui::ModalActionRan());
  EXPECT_TRUE(opensDisabled);
  ASSERT_EQ(offered.size(), std::size(cases) + 1);
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(offered[i], cases[i].ok) << cases[i].typed;
  EXPECT_TRUE(offered.back()) << "Enter closed the dialog while Ok was disabled";
  EXPECT_EQ(Presets().CurrentName(), "Organ") << "Esc renamed";

  RenameTo("Strings");
  EXPECT_EQ(Presets().CurrentName(), "Strings");
  EXPECT_EQ(Editor().PresetItems(), (std::vector<std::string>{"default", "Piano", "Strings"}));

  // Opened again, the edit already shows "Strings" (so no change notice
  // comes), and that name is now taken.
  bool reopensDisabled = false;
  gui::WhenModalLoopRuns([&] {
    reopensDisabled =
        RenamePresetDialog->PresetName() == "Strings" && !RenamePresetDialog->OkButton.Enabled();
    gui::PressKey(RenamePresetDialog->PresetEdit.Handle(), VK_ESCAPE);
  });
  gui::Click(Editor().RenamePresetSpeedButton.Handle());
  ASSERT_TRUE(gui::ModalActionRan());
  EXPECT_TRUE(reopensDisabled);
}
