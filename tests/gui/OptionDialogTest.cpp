// The option dialog: delays and timer interval go straight to the engine
// and come back from it, and the dialog grows with a larger font only.
#include "TestHelpers.h"
#include "VelmoraFixture.h"

namespace {

// The digits with the user's thousands separator between them.
std::string Grouped(const char* Thousands, const char* Rest) {
  return std::string(Thousands).append(gui::ThousandSeparator()).append(Rest);
}

TEdit& DelayEdit(int Device) { return *OptionDialog->DelayEdits[static_cast<std::size_t>(Device)]; }

// The real font chooser, answered from inside its own loop: the size typed
// into its size box, then OK.
void ChooseFontSizeInChooser(int Points) {
  gui::WhenModalLoopRunsRetry([Points] {
    HWND chooser = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM found) -> BOOL {
      char name[16] = {};
      GetClassNameA(window, name, sizeof name);
      if (std::string(name) == "#32770" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      }
      return TRUE;
    }, reinterpret_cast<LPARAM>(&chooser));
    if (!chooser) return false;
    constexpr int SizeBox = 0x472;  // cmb3 of the standard font dialog
    SetDlgItemTextA(chooser, SizeBox, std::to_string(Points).c_str());
    SendMessageA(chooser, WM_COMMAND, MAKEWPARAM(SizeBox, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(chooser, SizeBox)));
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    return true;
  });
  gui::Click(OptionDialog->FontSetupButton.Handle());
}

}  // namespace

TEST_F(VelmoraWindows, DelayTextWithOrWithoutSeparatorsReachesTheEngine) {
  StartProgram();
  gui::Click(VelmoraForm->OptionSetupButton.Handle());
  ASSERT_TRUE(OptionDialog->Visible());
  ASSERT_EQ(OptionDialog->DelayEdits.size(), 4u);

  struct Case {
    std::string typed;
    int delay;  // what the engine holds afterwards
  };
  const Case cases[] = {
      {Grouped("1", "500"), 1500}, {"2000", 2000},   {"abc", 2000},  // no number: the last valid value
      {Grouped("12", "000"), 2000},                                  // beyond 9999
      {"0", 0},                  {Grouped("9", "999"), 9999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    gui::Paste(DelayEdit(1), c.typed);
    EXPECT_EQ(GlobalEngine->Delays(1), c.delay);
    EXPECT_EQ(GlobalEngine->Delays(0), 0);
  }

  // A change in the engine shows with the separator.
  GlobalEngine->SetDelay(2, 2500);
  gui::Pump();
  EXPECT_EQ(DelayEdit(2).Text(), Grouped("2", "500"));
  EXPECT_EQ(DelayEdit(1).Text(), Grouped("9", "999"));
}

TEST_F(VelmoraWindows, ArrowKeysStepTheValueOnceAndStopAtTheBounds) {
  StartProgram();
  gui::Click(VelmoraForm->OptionSetupButton.Handle());
  gui::Paste(DelayEdit(0), "999");
  gui::PressKey(DelayEdit(0).Handle(), VK_UP);
  EXPECT_EQ(GlobalEngine->Delays(0), 1000);
  EXPECT_EQ(DelayEdit(0).Text(), Grouped("1", "000"));
  gui::PressKey(DelayEdit(0).Handle(), VK_DOWN);
  gui::PressKey(DelayEdit(0).Handle(), VK_DOWN);
  EXPECT_EQ(GlobalEngine->Delays(0), 998);

  gui::Paste(DelayEdit(0), "9999");
  gui::PressKey(DelayEdit(0).Handle(), VK_UP);
  EXPECT_EQ(GlobalEngine->Delays(0), 9999);
  gui::Paste(DelayEdit(0), "0");
  gui::PressKey(DelayEdit(0).Handle(), VK_DOWN);
  EXPECT_EQ(GlobalEngine->Delays(0), 0);

  TEdit& interval = OptionDialog->TimerIntervalEdit;
  EXPECT_EQ(interval.Text(), "4");
  gui::PressKey(interval.Handle(), VK_UP);
  EXPECT_EQ(GlobalEngine->TimerInterval(), 5);
  gui::Paste(interval, "1");
  gui::PressKey(interval.Handle(), VK_DOWN);
  EXPECT_EQ(GlobalEngine->TimerInterval(), 1);
  gui::Paste(interval, "100");
  gui::PressKey(interval.Handle(), VK_UP);
  EXPECT_EQ(GlobalEngine->TimerInterval(), 100);
}

TEST_F(VelmoraWindows, ADelaySetInTheDialogHoldsTheNotesOfItsDevice) {
  StartProgram();
  gui::ChooseByLetter(*VelmoraForm->ChannelComboBoxes[4], 'B');  // channel 4 to Bass Station
  gui::Click(VelmoraForm->OptionSetupButton.Handle());
  gui::Paste(DelayEdit(1), Grouped("1", "500"));
  sim::ClearReceived();
  PlayNote(4, 64);
  PlayNote(0, 64);
  LetTimePass(1400);
  EXPECT_TRUE(sim::ReceivedBy(1).empty());
  EXPECT_EQ(sim::ReceivedBy(0).size(), 1u);
  LetTimePass(200);
  ASSERT_EQ(sim::ReceivedBy(1).size(), 1u);
  EXPECT_EQ(sim::ReceivedBy(1)[0].Short & 0xFFFF, 0x4094u);
}

TEST_F(VelmoraWindows, EnterAndEscHideTheOptionDialog) {
  StartProgram();
  for (WORD key : {VK_RETURN, VK_ESCAPE}) {
    SCOPED_TRACE(key);
    gui::Click(VelmoraForm->OptionSetupButton.Handle());
    ASSERT_TRUE(OptionDialog->Visible());
    gui::PressKey(DelayEdit(2).Handle(), key);
    EXPECT_FALSE(OptionDialog->Visible());
  }
}

TEST_F(VelmoraWindows, ALargerFontGrowsTheOptionDialogAndASmallerOneDoesNotShrinkIt) {
  StartProgram();
  gui::Click(VelmoraForm->OptionSetupButton.Handle());
  const int width = OptionDialog->ClientWidth();
  const int height = OptionDialog->ClientHeight();
  // Four rows need 24 * 4 + 32 pixels of page.
  EXPECT_GE(OptionDialog->DelayTabSheet.ClientHeight(), 24 * 4 + 32);

  ChooseFontSizeInChooser(20);
  ASSERT_TRUE(gui::ModalActionRan());
  ASSERT_EQ(VelmoraForm->UIFont->Size(), 20) << "the font chooser did not take the size";
  const int grownWidth = OptionDialog->ClientWidth();
  EXPECT_GT(grownWidth, width);
  EXPECT_GE(OptionDialog->ClientHeight(), height);
  int widest = 0;
  for (auto& label : OptionDialog->DelayLabels) widest = std::max(widest, label->Width());
  EXPECT_EQ(DelayEdit(0).Left(), widest + 24);
  EXPECT_GE(OptionDialog->DelayTabSheet.ClientWidth(), widest + 104);
  EXPECT_EQ(OptionDialog->CloseButton.Left(), (grownWidth - 80) / 2);
  // The main window follows: taller rows, lamps two pixels shorter.
  const TComboBox& row = *VelmoraForm->ChannelComboBoxes[0];
  EXPECT_EQ(VelmoraForm->ChannelLEDs[0]->Height(), row.Height() - 2);
  EXPECT_EQ(VelmoraForm->OptionSetupButton.Height(), VelmoraForm->MidiInComboBox.Height());

  ChooseFontSizeInChooser(8);
  ASSERT_EQ(VelmoraForm->UIFont->Size(), 8);
  EXPECT_EQ(OptionDialog->ClientWidth(), grownWidth);
  EXPECT_EQ(OptionDialog->CloseButton.Left(), (grownWidth - 80) / 2);
  EXPECT_LT(DelayEdit(0).Left(), widest + 24);
}

TEST_F(VelmoraWindows, TheSystemMessagesRowIsChosenOnTheMiscPageStoredAndReadBack) {
  StartProgram();
  TComboBox& row = OptionDialog->SystemMessagesComboBox;
  EXPECT_EQ(OptionDialog->SystemMessagesLabel.Caption(), "System messages");
  EXPECT_EQ(row.Text(), "By channel");
  EXPECT_EQ(row.ItemCount(), 3);
  EXPECT_LE(row.Left() + row.Width(), OptionDialog->MiscTabSheet.ClientWidth());
  EXPECT_LE(row.Top() + row.Height(), OptionDialog->MiscTabSheet.ClientHeight());
  EXPECT_EQ(row.Left(), OptionDialog->PresetSwitchComboBox.Left());

  gui::ChooseByLetter(row, 'N');
  EXPECT_EQ(GlobalEngine->SystemMessages(), smNotPassedOn);
  sim::ClearReceived();
  sim::InjectShort(0, 0xF8);
  LetTimePass(20);
  EXPECT_TRUE(sim::ReceivedBy(0).empty()) << "the clock is not passed on";
  gui::ChooseByLetter(row, 'T');
  EXPECT_EQ(GlobalEngine->SystemMessages(), smToEveryDevice);

  EndProgram();
  EXPECT_EQ(ReadSetting("SystemMessages", "Route"), "1");
  StartProgram();
  EXPECT_EQ(OptionDialog->SystemMessagesComboBox.Text(), "To every device");
  EXPECT_EQ(GlobalEngine->SystemMessages(), smToEveryDevice);
}
