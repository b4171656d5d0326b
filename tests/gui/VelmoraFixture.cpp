#include "VelmoraFixture.h"

#include "GuiDriver.h"
#include "platform/Platform.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

void VelmoraWindows::SetUp() {
  sim::Reset();
  sim::SetInputDevices({{"Keys In"}, {"Pad Controller"}});
  std::vector<sim::DeviceConfig> outputs;
  for (const char* name : OutputNames) outputs.push_back({name});
  sim::SetOutputDevices(outputs);
}

void VelmoraWindows::TearDown() {
  EndProgram();
  EXPECT_TRUE(Errors.empty()) << "first error: " << (Errors.empty() ? "" : Errors.front());
}

void VelmoraWindows::StartProgram() {
  Program = std::make_unique<TVelmoraProgram>();
  FSettingsFile = IniFileName;
  TApplication& app = Program->App();
  app.IdleWaitMilliseconds = 0;  // the simulated notices are no window messages
  app.OnException = [this](TApplication&, const std::exception& e) { Errors.push_back(e.what()); };
  app.MainForm()->Show();
  for (int i = 0; i < 1000 && app.OnIdle; ++i) app.HandleMessage();
  ASSERT_FALSE(app.OnIdle) << "the first idle moment never came";
  gui::Pump();
}

void VelmoraWindows::EndProgram() { Program.reset(); }

std::string VelmoraWindows::OutputName(int Device) {
  return std::string(OutputNames[Device]) + " (1.0)";
}

// The settings' own thread writes the saves: what they store is read once
// they are on the disk.
void VelmoraWindows::SettingsWritten() {
  if (!IniFileName.empty()) SettingsStore().Flush();
}

std::string VelmoraWindows::ReadSetting(const std::string& Section, const std::string& Key) const {
  SettingsWritten();
  return TIniFile(FSettingsFile).ReadString(Section, Key, "<absent>");
}

bool VelmoraWindows::SectionExists(const std::string& Section) const {
  return SettingsText().find("[" + Section + "]\r\n") != std::string::npos;
}

std::string VelmoraWindows::SettingsText() const {
  SettingsWritten();
  std::string text;
  platform::ReadFileText(FSettingsFile, text);
  return text;
}

void VelmoraWindows::PlayNote(int Channel, int Note) {
  sim::InjectShort(0, static_cast<DWORD>(0x90 | Channel) | static_cast<DWORD>(Note) << 8 | 100u << 16);
  gui::Pump();
}

void VelmoraWindows::LetTimePass(double Milliseconds) {
  sim::RunFor(Milliseconds);
  gui::Pump();
}
