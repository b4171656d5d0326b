// Not a check of pixels: leaves pictures of every window for a person to
// look at (build/screenshots), with the program as a user first sees it.
#include <fstream>

#include "GuiDriver.h"
#include "Screenshot.h"
#include "VelmoraFixture.h"

namespace {

void ShowAndShoot(TForm& Form, const std::string& Name, bool AlsoClient = false) {
  Form.Show();
  SetWindowPos(Form.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RedrawWindow(Form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
  gui::Pump();
  Sleep(200);  // the X server shows what Wine drew
  gui::Pump();
  SaveScreenshot(Form.Handle(), Name);
  if (AlsoClient) SaveScreenshot(Form.Handle(), Name + "-client", true);
}

}  // namespace

TEST_F(VelmoraWindows, LeavesScreenshotsOfEveryWindow) {
  if (ScreenshotFolder().empty()) GTEST_SKIP() << "VELMORA_SCREENSHOTS is not set";
  // The devices of ./run.sh's virtual set-up, routed as the README's
  // walk-through leaves them.
  sim::SetInputDevices({{"Virtual Keyboard"}});
  sim::SetOutputDevices({{"Virtual Synth A"}, {"Virtual Synth B"}});
  StartProgram();
  TVelmoraEngine& engine = *GlobalEngine;
  engine.Presets().AddPreset("Two synths");
  for (std::uint8_t channel = 8; channel < 16; ++channel) engine.SetChannelDevice(channel, 1);
  engine.SetDelay(1, 1500);
  gui::Pump();

  VelmoraForm->SetPosition(20, 20);
  ShowAndShoot(*VelmoraForm, "main-window", true);

  OptionDialog->SetPosition(820, 20);
  OptionDialog->OptionPageControl.SetActivePage(OptionDialog->DelayTabSheet);
  ShowAndShoot(*OptionDialog, "option-delay");
  OptionDialog->OptionPageControl.SetActivePage(OptionDialog->MiscTabSheet);
  ShowAndShoot(*OptionDialog, "option-misc");
  OptionDialog->Hide();

  EditPresetsDialog->SetPosition(820, 300);
  ShowAndShoot(*EditPresetsDialog, "preset-editor");
  EditPresetsDialog->Hide();

  VersionDialog->SetPosition(820, 300);
  ShowAndShoot(*VersionDialog, "version");
  VersionDialog->Hide();

  RenamePresetDialog->SetPresetName("Two synths");
  RenamePresetDialog->SetPosition(820, 300);
  ShowAndShoot(*RenamePresetDialog, "rename-preset");
  RenamePresetDialog->Hide();
  EXPECT_TRUE(std::ifstream(ScreenshotFolder() + "/main-window.png").good());
}
