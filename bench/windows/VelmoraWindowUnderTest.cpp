#include "VirtualMidiEnvironment.h"  // winsock2.h before windows.h
#include "bench/windows/VelmoraWindowUnderTest.h"

#include <string>

#include "app/VelmoraProgram.h"
#include "settings/IniDefs.h"

namespace bench {

TVelmoraWindowUnderTest::TVelmoraWindowUnderTest(std::int32_t TimerIntervalMs, const std::vector<TRoute>& Routes) {
  {
    // The program finds no settings of an earlier run.
    InitializeIniDefs();
    DeleteFileA(IniFileName.c_str());
    FinalizeIniDefs();
  }
  FProgram = std::make_unique<TVelmoraProgram>();
  TApplication& app = FProgram->App();
  app.MainForm()->Show();
  for (int i = 0; i < 1000 && app.OnIdle; ++i) app.HandleMessage();
  TVelmoraEngine& engine = *GlobalEngine;
  engine.SetTimerInterval(TimerIntervalMs);
  for (const TRoute& route : Routes) engine.SetChannelDevice(static_cast<std::uint8_t>(route.Channel), route.Device);
  PumpFor(50);
}

TVelmoraWindowUnderTest::~TVelmoraWindowUnderTest() {
  const std::string settings = IniFileName;
  FProgram.reset();
  DeleteFileA(settings.c_str());
  PumpFor(20);
}

}  // namespace bench
