// What the main window shows while devices come and go: a row waiting for
// its absent device, the lists following a device change that Windows
// announces with WM_DEVICECHANGE, and a device that stops answering.
#include "GuiDriver.h"
#include "VelmoraFixture.h"
#include "platform/Platform.h"

namespace {

TComboBox& Row(int Channel) { return *VelmoraForm->ChannelComboBoxes[static_cast<std::size_t>(Channel)]; }
TLED& Lamp(int Channel) { return *VelmoraForm->ChannelLEDs[static_cast<std::size_t>(Channel)]; }

constexpr WPARAM DevicesChanged = 0x0007;  // DBT_DEVNODES_CHANGED

}  // namespace

TEST_F(VelmoraWindows, ARowShowsTheDeviceItWaitsForAndTheListsFollowTheMachine) {
  StartProgram();
  EndProgram();
  std::string stored = SettingsText();
  const std::string routing = "Device5=" + OutputName(0);
  ASSERT_NE(stored.find(routing), std::string::npos);
  stored.replace(stored.find(routing), routing.size(), "Device5=Echo Unit (1.0)");
  ASSERT_TRUE(platform::ReplaceFileText(SettingsFile(), stored));

  StartProgram();
  EXPECT_EQ(Row(5).ItemIndex(), 0) << "it plays on device 0 meanwhile";
  EXPECT_EQ(Lamp(5).Hint(), "Waiting for Echo Unit (1.0); meanwhile on Alpha Synth (1.0): open");
  EXPECT_EQ(Lamp(4).Hint(), "Alpha Synth (1.0): open");

  // The Echo Unit is plugged in and Windows numbers it first; it announces
  // the change with a burst of notices.
  std::vector<sim::DeviceConfig> outputs = {{"Echo Unit"}};
  for (const char* name : OutputNames) outputs.push_back({name});
  sim::ChangeOutputDevices(outputs);
  for (int notice = 0; notice < 3; ++notice)
    SendMessageA(VelmoraForm->Handle(), WM_DEVICECHANGE, DevicesChanged, 0);
  LetTimePass(TVelmoraEngine::DeviceChangeSettleMilliseconds + 100);
  EXPECT_EQ(Row(5).ItemCount(), 5);
  EXPECT_EQ(Row(5).Text(), "Echo Unit (1.0)");
  EXPECT_EQ(Lamp(5).Hint(), "Echo Unit (1.0): open");
  EXPECT_EQ(Row(4).Text(), OutputName(0)) << "no other row's choice moved";
  EXPECT_EQ(Lamp(4).BrushColor(), LEDColors[mpsOpen]);

  // The Alpha Synth (device 1 now) stops answering: its lamp turns orange.
  sim::SetOutputPresent(1, false);
  PlayNote(4, 60);
  LetTimePass(8);
  EXPECT_EQ(Lamp(4).BrushColor(), LEDColors[mpsLost]);
  EXPECT_EQ(Lamp(4).Hint(), "Alpha Synth (1.0): not answering, tried again every 2 seconds");
  sim::SetOutputPresent(1, true);
  LetTimePass(TVelmoraEngine::LostRetryMilliseconds + 100);
  EXPECT_EQ(Lamp(4).BrushColor(), LEDColors[mpsOpen]) << "taken back without a Reopen";
}
