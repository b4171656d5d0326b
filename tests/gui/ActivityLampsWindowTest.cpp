// The lamps at a glance: the input's lamp and the rows' lamps flicker
// white-green with the messages their ports pass, rows sharing a device
// together, and go back to their state's colour once the messages stop.
#include "GuiDriver.h"
#include "TestHelpers.h"
#include "VelmoraFixture.h"

namespace {

TLED& Lamp(int Channel) { return *VelmoraForm->ChannelLEDs[static_cast<std::size_t>(Channel)]; }

// Pumps the windows' messages until the condition holds; false after a
// generous deadline.
template <class Condition>
bool PumpUntil(Condition Holds) {
  const ULONGLONG deadline = GetTickCount64() + 5000;
  while (!Holds()) {
    if (GetTickCount64() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    gui::Pump();
  }
  return true;
}

}  // namespace

TEST_F(VelmoraWindows, LampsFlickerWithTheMessagesOfTheirPortsAndRowsSharingADeviceTogether) {
  StartProgram();
  gui::ChooseByLetter(*VelmoraForm->ChannelComboBoxes[3], 'D');
  gui::ChooseByLetter(*VelmoraForm->ChannelComboBoxes[12], 'D');
  ASSERT_TRUE(PumpUntil([] { return !Lamp(3).Lit() && !VelmoraForm->MidiInLED->Lit(); }));

  const ULONGLONG played = GetTickCount64();
  PlayNote(3, 60);  // undelayed: sent to Drum Machine (device 3) at once
  ASSERT_TRUE(PumpUntil([] { return Lamp(3).Lit(); })) << "the row's lamp never flickered";
  const struct {
    const TLED* Lamp;
    bool Lit;
  } lamps[] = {{VelmoraForm->MidiInLED.get(), true}, {&Lamp(3), true}, {&Lamp(12), true}, {&Lamp(0), false}, {&Lamp(4), false}};
  for (const auto& l : lamps) {
    EXPECT_EQ(l.Lamp->Lit(), l.Lit);
    EXPECT_EQ(l.Lamp->ShownColor(), l.Lit ? LEDFlickerColor : LEDColors[mpsOpen]);
    EXPECT_EQ(l.Lamp->BrushColor(), LEDColors[mpsOpen]) << "the state's colour stays";
  }

  ASSERT_TRUE(PumpUntil([] { return !Lamp(3).Lit(); })) << "the flicker never ended";
  EXPECT_GE(GetTickCount64() - played, TLED::FlickerMilliseconds);
  EXPECT_FALSE(Lamp(12).Lit());
  EXPECT_EQ(Lamp(3).ShownColor(), LEDColors[mpsOpen]);

  // A lamp takes any counter: given the input's, a row flickers with it.
  Lamp(0).SetActivity(&GlobalEngine->MidiIn().Activity());
  sim::InjectShort(0, 0xF8);  // a clock: counted at the input, passed to device 0 too
  gui::Pump();
  EXPECT_TRUE(PumpUntil([] { return Lamp(0).Lit(); }));
}
