// The routing core: the channel map, the per-device delays, the input port,
// one shared output device per catalogue device, the queue of scheduled
// messages, the timer that serves it and the preset list. The windows change
// it only through the four setters, Reopen and the preset list, read it
// through the properties and follow it through the eight events.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/MidiOutMessageList.h"
#include "engine/MidiOutputDev.h"
#include "engine/Presets.h"
#include "midi/MMTimer.h"
#include "midi/MidiInput.h"
#include "platform/DateTime.h"

class TVelmoraEngine;
extern TVelmoraEngine* GlobalEngine;

class TVelmoraEngine {
 public:
  static constexpr std::int32_t MaxDelay = 59999;  // the largest delay a time of day can hold

  using TIndexEvent = std::function<void(TVelmoraEngine& Sender, std::int32_t Index)>;
  using TStateEvent = std::function<void(TVelmoraEngine& Sender, TMidiPortState State)>;
  using TDelayEvent =
      std::function<void(TVelmoraEngine& Sender, std::int32_t Device, std::int32_t Milliseconds)>;
  using TChannelDeviceEvent =
      std::function<void(TVelmoraEngine& Sender, std::uint8_t Channel, std::int32_t Device)>;
  using TDeviceStateEvent =
      std::function<void(TVelmoraEngine& Sender, std::int32_t Device, TMidiPortState State)>;
  using TPresetsEvent = std::function<void(TVelmoraEngine& Sender, TPresets& Presets)>;
  using TMillisecondsEvent =
      std::function<void(TVelmoraEngine& Sender, std::int32_t Milliseconds)>;

  TVelmoraEngine();   // sized by MidiOutDeviceCount; opens nothing
  ~TVelmoraEngine();  // stops the timer, saves, closes and frees everything
  TVelmoraEngine(const TVelmoraEngine&) = delete;
  TVelmoraEngine& operator=(const TVelmoraEngine&) = delete;

  // Properties. Indices are not range-checked: channels 0..15, devices
  // 0..MidiOutDeviceCount-1.
  std::int32_t MidiInDevice() const { return FMidiInDevice; }
  std::int32_t Delays(std::int32_t Device) const { return FDelays[Device]; }
  TDateTime DelayTimes(std::int32_t Device) const { return FDelayTimes[Device]; }
  std::int32_t ChannelDevices(std::uint8_t Channel) const {
    return FChannelDevices[Channel].load(std::memory_order_relaxed);
  }
  TMidiPortState MidiOutStates(std::int32_t Device) const { return FMidiOuts[Device]->State(); }
  std::int32_t TimerInterval() const { return FTimerInterval; }
  TPresets& Presets() { return *FPresets; }
  TMidiInput& MidiIn() { return *FMidiIn; }
  TMidiOutMessageList& MessageList() { return *FMessageList; }
  TMidiOutputDev& MidiOuts(std::int32_t Device) { return *FMidiOuts[Device]; }
  std::int32_t MidiOutCount() const { return static_cast<std::int32_t>(FMidiOuts.size()); }
  TMMTimer& Timer() { return *FTimer; }
  bool Dispatching() const { return FDispatching.load(std::memory_order_acquire); }

  // Setters, main thread: equal value does nothing; otherwise store, act,
  // fire the event last.
  void SetMidiInDevice(std::int32_t Index);
  void SetDelay(std::int32_t Device, std::int32_t Milliseconds);
  void SetChannelDevice(std::uint8_t Channel, std::int32_t Device);
  void SetTimerInterval(std::int32_t Milliseconds);

  void Reopen();
  void Start();  // LoadSettings, then the timer runs

  // Timer thread (through TimerTick); public for tests that drive it directly.
  void DispatchDueMessages();

  // Persistence.
  void LoadSettings();
  void SaveSettings();
  void LoadPreset();
  bool SavePreset();  // false when the settings file could not be written

  // The eight events, assigned by the main window (main thread only).
  TIndexEvent OnMidiInDeviceChange;
  TStateEvent OnMidiInStateChange;
  TDelayEvent OnDelayChange;
  TChannelDeviceEvent OnChannelDeviceChange;
  TDeviceStateEvent OnMidiOutStateChange;
  TIndexEvent OnPresetIndexChange;
  TPresetsEvent OnPresetsChange;
  TMillisecondsEvent OnTimerIntervalChange;

 private:
  void InputData(TMidiInput& Sender, DWORD Data);
  void InputLongData(TMidiInput& Sender, const std::uint8_t* Data, std::int32_t Length);
  void InputStateChange(TMidiIOBase& Sender, TMidiPortState State);
  void OutputStateChange(TMidiIOBase& Sender, TMidiPortState State);
  void TimerTick(TMMTimer& Sender);
  void PresetsChange(TPresets& Sender);
  void PresetIndexChanging(TPresets& Sender);
  void PresetIndexChange(TPresets& Sender);

  // Set by the tick that runs a dispatch; a tick that finds it set returns.
  std::atomic<bool> FDispatching{false};
  std::int32_t FMidiInDevice = -1;          // main thread only
  std::vector<std::int32_t> FDelays;        // main thread only
  // Channel map: written on the main thread, read by the timer thread when a
  // message is sent (each entry a whole value; relaxed is enough).
  std::array<std::atomic<std::int32_t>, 16> FChannelDevices;
  std::vector<TDateTime> FDelayTimes;       // main thread only
  std::int32_t FTimerInterval = 4;          // main thread only
  // The preset whose live map could not be stored when the current index was
  // about to change; empty when the last save went through. Main thread only.
  std::string FUnsavedPreset;
  // Set once Start has loaded the settings: an engine destroyed before that
  // holds only its initial values and must not store them over the file's.
  // Main thread only.
  bool FSettingsLoaded = false;

  std::unique_ptr<TPresets> FPresets;
  std::unique_ptr<TMidiInput> FMidiIn;
  std::unique_ptr<TMidiOutMessageList> FMessageList;
  std::vector<std::unique_ptr<TMidiOutputDev>> FMidiOuts;  // fixed after construction
  std::unique_ptr<TMMTimer> FTimer;
};
