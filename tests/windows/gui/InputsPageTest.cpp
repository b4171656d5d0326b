// The Inputs page end to end: the real program body and its windows over the
// real backend, the virtual devices' two inputs playing into one synth. The
// user checks the second input on the page, both inputs play through, and
// after a restart the page and the routing still have it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "VirtualMidiEnvironment.h"
#include "app/VelmoraProgram.h"
#include "engine/VelmoraEngine.h"
#include "midi/MidiMessages.h"
#include "settings/IniDefs.h"
#include "ui/OptionDlg.h"

using namespace testdevices;

// The Windows tests' device list already offers two inputs that answer
// ("USB MIDI", the main input of a fresh start, and "Virtual Keyboard"), so
// the driver needs no other configuration here.

namespace {

constexpr DWORD NoteOn(int Channel, int Key) { return midi::Pack(0x90 | Channel, Key, 0x40); }

class InputsPage : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_VIRTUAL_MIDI();
    InitializeIniDefs();
    settingsFile = IniFileName;
    FinalizeIniDefs();
    DeleteFileA(settingsFile.c_str());
  }
  void TearDown() override {
    program.reset();
    DeleteFileA(settingsFile.c_str());
  }
  // The program as the user starts it, to the end of its first idle moment.
  void StartProgram() {
    program = std::make_unique<TVelmoraProgram>();
    TApplication& app = program->App();
    app.MainForm()->Show();
    for (int i = 0; i < 1000 && app.OnIdle; ++i) app.HandleMessage();
    ASSERT_FALSE(app.OnIdle) << "the first idle moment has come";
  }
  // Whether Message played on Input reaches the synth of every channel.
  static bool PlaysThrough(int Input, DWORD Message, DWORD TimeoutMs = 5000) {
    VirtualMidi()->ClearRecords();
    if (!VirtualMidi()->InjectShort(Input, Message).Received) return false;
    return PumpUntil([&] {
      for (const vmidi::OutputRecord& record : VirtualMidi()->Received(OutUsbMidi))
        if (!record.Long && record.Packed() == Message) return true;
      return false;
    }, TimeoutMs);
  }
  // A click of the user's on the check box of an input's row.
  static void ClickInput(int Input) {
    SendMessageA(OptionDialog->InputCheckBoxes[static_cast<std::size_t>(Input)]->Handle(), BM_CLICK, 0, 0);
  }

  std::string settingsFile;
  std::unique_ptr<TVelmoraProgram> program;
};

TEST_F(InputsPage, TheSecondInputIsCheckedPlaysThroughAndIsKeptAfterARestart) {
  StartProgram();
  OptionDialog->Show();
  OptionDialog->OptionPageControl.SetActivePage(OptionDialog->InputsTabSheet);
  ASSERT_EQ(OptionDialog->InputCheckBoxes.size(), static_cast<std::size_t>(InputCount));
  // The main input's row is checked and cannot be changed there.
  EXPECT_TRUE(OptionDialog->InputCheckBoxes[InUsbMidi]->Checked());
  EXPECT_FALSE(OptionDialog->InputCheckBoxes[InUsbMidi]->Enabled());
  ClickInput(InUsbMidi);
  EXPECT_TRUE(OptionDialog->InputCheckBoxes[InUsbMidi]->Checked());
  EXPECT_FALSE(OptionDialog->InputCheckBoxes[InKeyboard]->Checked());
  EXPECT_FALSE(PlaysThrough(InKeyboard, NoteOn(0, 61), 300)) << "an input not checked is not listened to";

  ClickInput(InKeyboard);
  EXPECT_TRUE(OptionDialog->InputCheckBoxes[InKeyboard]->Checked());
  EXPECT_TRUE(PumpUntil([] { return OptionDialog->InputLEDs[InKeyboard]->State() == mpsOpen; }))
      << "its lamp shows it open";
  EXPECT_TRUE(PlaysThrough(InUsbMidi, NoteOn(0, 60)));
  EXPECT_TRUE(PlaysThrough(InKeyboard, NoteOn(0, 62)));

  program.reset();
  StartProgram();
  EXPECT_TRUE(OptionDialog->InputCheckBoxes[InKeyboard]->Checked()) << "kept after a restart";
  EXPECT_EQ(OptionDialog->InputLEDs[InKeyboard]->State(), mpsOpen);
  EXPECT_TRUE(PlaysThrough(InKeyboard, NoteOn(0, 64)));
  EXPECT_TRUE(PlaysThrough(InUsbMidi, NoteOn(0, 65)));
}

}  // namespace
