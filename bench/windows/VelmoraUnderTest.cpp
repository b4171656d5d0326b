#include "VirtualMidiEnvironment.h"  // winsock2.h before windows.h
#include "bench/windows/VelmoraUnderTest.h"

#include <string>

#include "midi/MidiIO.h"
#include "settings/IniDefs.h"

namespace bench {

TVelmoraUnderTest::TVelmoraUnderTest(std::int32_t TimerIntervalMs, const std::vector<TRoute>& Routes,
                                     const std::vector<std::int32_t>& DelaysMs) {
  InitializeIniDefs();
  DeleteFileA(IniFileName.c_str());
  BuildDeviceCatalogue();
  InitializeEngine();
  TVelmoraEngine& engine = *GlobalEngine;
  engine.Start();
  engine.SetTimerInterval(TimerIntervalMs);
  for (const TRoute& route : Routes) engine.SetChannelDevice(static_cast<std::uint8_t>(route.Channel), route.Device);
  for (std::size_t device = 0; device < DelaysMs.size(); ++device)
    engine.SetDelay(static_cast<std::int32_t>(device), DelaysMs[device]);
  // The handler is replaced only while the timer is stopped.
  engine.Timer().SetEnabled(false);
  engine.Timer().OnTimer = [ticks = FTicks, tick = engine.Timer().OnTimer](TMMTimer& sender) {
    ticks->fetch_add(1, std::memory_order_relaxed);
    tick(sender);
  };
  engine.Timer().SetEnabled(true);
  PumpFor(50);
  FTakenAt.reserve(1 << 16);
  FHandlerTimes.reserve(1 << 16);
  auto original = engine.MidiIn().OnData;
  engine.MidiIn().OnData = [this, original](TMidiInput& sender, DWORD data) {
    FTakenAt.push_back(QpcNow());
    original(sender, data);
    FHandlerTimes.push_back(QpcNow() - FTakenAt.back());
  };
}

TVelmoraUnderTest::~TVelmoraUnderTest() {
  const std::string settings = IniFileName;
  FinalizeEngine();
  FreeDeviceCatalogue();
  DeleteFileA(settings.c_str());
  FinalizeIniDefs();
  PumpFor(20);
}

}  // namespace bench
