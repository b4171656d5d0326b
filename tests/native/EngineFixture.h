// A machine with simulated MIDI devices and a fresh settings folder, and the
// engine brought up the way the program brings it up: settings path, device
// catalogue, engine. Tests then drive it as the windows do.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/Engine.h"
#include "midi/MidiIO.h"
#include "platform/Platform.h"
#include "platform/sim/SimDriver.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

// One state report as the windows would see it.
struct TStateReport {
  std::string Port;  // "in" or "out"
  std::int32_t Device;
  TMidiPortState State;
  bool operator==(const TStateReport&) const = default;
};

inline std::ostream& operator<<(std::ostream& Os, const TStateReport& R) {
  return Os << R.Port << R.Device << ":" << int(R.State);
}

// Waits for a condition another thread brings about, with a generous deadline.
inline bool Eventually(const std::function<bool()>& Condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!Condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::SetInputDevices({{.Name = "Keyboard", .DriverVersion = 0x0100},
                          {.Name = "Sequencer", .DriverVersion = 0x0203}});
    sim::SetOutputDevices({{.Name = "Synth A", .DriverVersion = 0x0105},
                           {.Name = "Synth B", .DriverVersion = 0x010A},
                           {.Name = "Synth C", .DriverVersion = 0x0000}});
  }
  void TearDown() override { Shutdown(); }

  // Settings path, catalogue, engine: the start-up order of the program.
  void Boot() {
    InitializeIniDefs();
    settingsPath = IniFileName;
    BuildDeviceCatalogue();
    InitializeEngine();
    engine = GlobalEngine;
    Hook();
  }
  // Boot plus Start, as the main window's first idle moment does.
  void BootAndStart() {
    Boot();
    engine->Start();
    sim::DeliverNotices();
  }
  void Shutdown() {
    if (GlobalEngine) FinalizeEngine();
    engine = nullptr;
    FreeDeviceCatalogue();
    FinalizeIniDefs();
    sim::DeliverNotices();
  }

  void Hook() {
    engine->OnMidiInStateChange = [this](TVelmoraEngine&, TMidiPortState s) {
      reports.push_back({"in", engine->MidiIn().DeviceIndex(), s});
      events.push_back("in-state");
    };
    engine->OnMidiOutStateChange = [this](TVelmoraEngine&, std::int32_t d, TMidiPortState s) {
      reports.push_back({"out", d, s});
      events.push_back("out-state " + std::to_string(d) + " " + std::to_string(int(s)));
    };
    engine->OnChannelDeviceChange = [this](TVelmoraEngine&, std::uint8_t c, std::int32_t d) {
      events.push_back("channel " + std::to_string(c) + " " + std::to_string(d));
    };
    engine->OnDelayChange = [this](TVelmoraEngine&, std::int32_t d, std::int32_t ms) {
      events.push_back("delay " + std::to_string(d) + " " + std::to_string(ms));
    };
    engine->OnMidiInDeviceChange = [this](TVelmoraEngine&, std::int32_t i) {
      events.push_back("input " + std::to_string(i));
    };
    engine->OnTimerIntervalChange = [this](TVelmoraEngine&, std::int32_t ms) {
      events.push_back("interval " + std::to_string(ms));
    };
    engine->OnPresetIndexChange = [this](TVelmoraEngine&, std::int32_t i) {
      events.push_back("preset " + std::to_string(i));
    };
    engine->OnPresetsChange = [this](TVelmoraEngine&, TPresets&) { events.push_back("presets"); };
  }

  // Maps every channel to one device.
  void MapAll(std::int32_t Device) {
    for (std::uint8_t c = 0; c < 16; ++c) engine->SetChannelDevice(c, Device);
  }

  // A short message arriving on the open input, handled by the main thread.
  void Play(DWORD Message) {
    sim::InjectShort(engine->MidiIn().DeviceIndex(), Message);
    sim::DeliverNotices();
  }

  // Short messages each output device received.
  std::vector<DWORD> ShortsTo(int Device) {
    std::vector<DWORD> result;
    for (const sim::Received& r : sim::ReceivedBy(Device))
      if (!r.Long) result.push_back(r.Short);
    return result;
  }
  std::vector<std::vector<std::uint8_t>> LongsTo(int Device) {
    std::vector<std::vector<std::uint8_t>> result;
    for (const sim::Received& r : sim::ReceivedBy(Device))
      if (r.Long) result.push_back(r.Bytes);
    return result;
  }

  // Waits until every save asked so far has reached the file (they are
  // written by the settings' own thread).
  static void SettingsWritten() {
    if (!IniFileName.empty()) SettingsStore().Flush();
  }
  // The settings file as the saves asked so far leave it.
  TIniFile WrittenSettings() {
    SettingsWritten();
    return TIniFile(settingsPath);
  }
  std::string SettingsText() {
    SettingsWritten();
    std::string text;
    platform::ReadFileText(settingsPath, text);
    return text;
  }

  TVelmoraEngine* engine = nullptr;
  std::string settingsPath;  // kept after shutdown, when IniFileName has been cleared
  std::vector<TStateReport> reports;
  std::vector<std::string> events;
};

// The same machine in the simulated real-time mode: the timer's ticks run
// on a thread of their own while the test's thread plays the main thread.
class RealTimeEngineFixture : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    sim::SetRealTime(true);
  }
  void TearDown() override {
    EngineFixture::TearDown();
    sim::SetRealTime(false);
  }
};
