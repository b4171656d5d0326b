#include "bench/BenchMachine.h"

#include <string>
#include <vector>

#include "engine/Engine.h"
#include "midi/MidiIO.h"
#include "platform/sim/SimDriver.h"
#include "settings/IniDefs.h"

namespace bench {

TBenchMachine::TBenchMachine(int OutputDevices) {
  sim::Reset();
  // A long run would otherwise keep a record of every call it made.
  sim::SetCallRecording(false);
  sim::SetInputDevices({{.Name = "Keyboard", .DriverVersion = 0x0100}});
  std::vector<sim::DeviceConfig> outputs;
  for (int i = 0; i < OutputDevices; ++i) {
    outputs.push_back({.Name = "Synth " + std::string(1, static_cast<char>('A' + i)), .DriverVersion = 0x0100});
  }
  sim::SetOutputDevices(outputs);

  InitializeIniDefs();
  BuildDeviceCatalogue();
  InitializeEngine();
  FEngine = GlobalEngine;
  FEngine->Start();
  sim::DeliverNotices();
  FEngine->SetMidiInDevice(0);
  sim::DeliverNotices();
  RouteAll(0);
}

TBenchMachine::~TBenchMachine() {
  FinalizeEngine();
  FreeDeviceCatalogue();
  FinalizeIniDefs();
  sim::DeliverNotices();
}

void TBenchMachine::Route(std::uint8_t Channel, std::int32_t Device) {
  FEngine->SetChannelDevice(Channel, Device);
  sim::DeliverNotices();
}

void TBenchMachine::RouteAll(std::int32_t Device) {
  for (std::uint8_t c = 0; c < 16; ++c) Route(c, Device);
}

void TBenchMachine::SetDelay(std::int32_t Device, std::int32_t Milliseconds) {
  FEngine->SetDelay(Device, Milliseconds);
}

void TBenchMachine::SetInterval(std::int32_t Milliseconds) {
  FEngine->SetTimerInterval(Milliseconds);
}

void TBenchMachine::Play(DWORD Message) {
  sim::InjectShort(FEngine->MidiIn().DeviceIndex(), Message);
  sim::DeliverNotices();
}

}  // namespace bench
