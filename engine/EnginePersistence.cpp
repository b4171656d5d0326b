// The engine's settings and preset maps in the settings file. Devices are
// stored by display name, so settings follow a device when the system lists
// devices in another order. Loads read the settings kept in memory and saves
// are written by the settings' own thread, so a preset switch never waits
// for the disk.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/StoredDeviceNames.h"
#include "engine/SystemMessagesSettings.h"
#include "engine/VelmoraEngine.h"
#include "midi/MidiIO.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

namespace {
const std::string EngineSection = "VelmoraEngine";
const std::string DelaysSection = "MidiOutDelays";
const std::string PresetSectionPrefix = "Preset_";
// A section of its own, new to a file of an earlier version and so added at
// its end: every section and key already there keeps its place. A file
// without it means the switching is off.
const std::string PresetSwitchSection = "PresetSwitch";
const std::string PresetSwitchChannelKey = "Channel";
// The extra inputs by name, present or not; a file without the section
// means the main input alone, and keeps without it until one is checked.
const std::string InputsSection = "MidiInputs";
const std::string InputsCountKey = "Count";

const std::string DeviceKeyPrefix = "Device";
std::string DeviceKey(std::int32_t Index) { return DeviceKeyPrefix + std::to_string(Index); }
std::string DelayKey(std::int32_t Index) { return "Delay" + std::to_string(Index); }

}  // namespace

void TVelmoraEngine::LoadSettings() {
  TSettingsStore& ini = SettingsStore();

  const std::string storedInput = ini.ReadString(EngineSection, "MidiInDeviceName", "");
  const std::int32_t input = StoredDevice(MidiInDeviceNames, storedInput);
  SetMidiInDevice(input >= 0 ? input : 0);
  // An absent input is waited for, and its name kept in the file meanwhile.
  if (input < 0 && !storedInput.empty()) {
    FWaitingInput = storedInput;
    Fire(OnMidiInDeviceChange, FMidiInDevice);
  }
  const std::string& mainInput = FWaitingInput.empty() ? FMidiInName : FWaitingInput;
  const std::int32_t extras = ini.ReadInteger(InputsSection, InputsCountKey, 0);
  for (const std::int32_t n : ini.NumberedKeys(InputsSection, DeviceKeyPrefix, 0, extras - 1)) {
    const std::string name = ini.ReadString(InputsSection, DeviceKey(n), "");
    // The main input's device, or one named twice, opens once.
    if (name.empty() || NamesDevice(name, mainInput) || ExtraInputNamed(name) != nullptr) continue;
    AddExtraInput(name);
  }
  if (FInputs.size() > 1) Fire(OnInputsChange);

  // Only the pairs below the stored count whose device key is there: a gap
  // keeps the later pairs, and a corrupted count costs nothing.
  const std::int32_t pairs = ini.ReadInteger(DelaysSection, "MidiOutNumDevs", 0);
  const std::int32_t lastPair = pairs > 0 ? pairs - 1 : -1;
  for (const std::int32_t n : ini.NumberedKeys(DelaysSection, DeviceKeyPrefix, 0, lastPair)) {
    const std::string name = ini.ReadString(DelaysSection, DeviceKey(n), "");
    const std::int32_t device = StoredDevice(MidiOutDeviceNames, name);
    const std::int32_t delay = ini.ReadInteger(DelaysSection, DelayKey(n), 0);
    if (device >= 0) {
      SetDelay(device, delay);
      continue;
    }
    // An absent device's delay is kept in a slot of its own, for the day it
    // arrives and for the file.
    if (name.empty()) continue;
    std::int32_t slot = NoSlot;
    for (std::int32_t known = 0; known < SlotCount() && slot == NoSlot; ++known)
      if (NamesDevice(name, FSlots[known]->Name())) slot = known;
    if (slot == NoSlot) slot = AddSlot(name, NoDevice);
    if (slot != NoSlot) SetSlotDelay(slot, delay);
  }

  SetTimerInterval(ini.ReadInteger(EngineSection, "TimerInterval", 4));
  SetPresetSwitchChannel(ini.ReadInteger(PresetSwitchSection, PresetSwitchChannelKey, PresetSwitchOff));
  SetSystemMessages(ReadSystemMessages(ini));
  const std::int32_t presetIndex = ini.ReadInteger(EngineSection, "PresetIndex", 0);
  FPresets->SetItemIndex(presetIndex);  // clamps, and loads that preset's map
  // Before this the program has not started, and an exit then writes
  // nothing at all: no settings, no preset names, no window positions.
  SettingsStore().AllowSaves();
}

void TVelmoraEngine::SaveSettings() {
  TSettingsWrites ini;
  // With no catalogue entry selected (no input devices) the stored name is
  // left as it is, for the next start to find.
  if (!FWaitingInput.empty()) {
    ini.WriteString(EngineSection, "MidiInDeviceName", FWaitingInput);
  } else if (FMidiInDevice >= 0 && FMidiInDevice < MidiInDeviceNames.Count()) {
    ini.WriteString(EngineSection, "MidiInDeviceName", MidiInDeviceNames[FMidiInDevice]);
  }
  // The devices present in catalogue order, then those absent now that
  // have a delay, so it stays in the file for their return (a device seen
  // for a moment with no delay leaves nothing behind).
  std::vector<std::int32_t> slots;
  for (std::int32_t device = 0; device < MidiOutCount(); ++device)
    if (SlotOf(device) != NoSlot) slots.push_back(SlotOf(device));
  for (std::int32_t slot = 0; slot < SlotCount(); ++slot)
    if (!FSlots[slot]->Present() && !FSlots[slot]->Name().empty() && FDelays[slot] != 0) slots.push_back(slot);
  ini.WriteInteger(DelaysSection, "MidiOutNumDevs", static_cast<std::int32_t>(slots.size()));
  for (std::size_t n = 0; n < slots.size(); ++n) {
    ini.WriteString(DelaysSection, DeviceKey(static_cast<std::int32_t>(n)), FSlots[slots[n]]->Name());
    ini.WriteInteger(DelaysSection, DelayKey(static_cast<std::int32_t>(n)), FDelays[slots[n]]);
  }
  const std::vector<std::string> extras = ExtraInputNames();
  if (!extras.empty() || SettingsStore().ReadInteger(InputsSection, InputsCountKey, -1) >= 0) {
    ini.WriteInteger(InputsSection, InputsCountKey, static_cast<std::int32_t>(extras.size()));
    for (std::size_t n = 0; n < extras.size(); ++n)
      ini.WriteString(InputsSection, DeviceKey(static_cast<std::int32_t>(n)), extras[n]);
  }
  ini.WriteInteger(EngineSection, "TimerInterval", FTimerInterval);
  ini.WriteInteger(EngineSection, "PresetIndex", FPresets->ItemIndex());
  ini.WriteInteger(PresetSwitchSection, PresetSwitchChannelKey, FPresetSwitchChannel);
  WriteSystemMessages(ini, SystemMessages());
  SettingsStore().Save(ini);
}

void TVelmoraEngine::LoadPreset() {
  const std::string name = FPresets->CurrentName();
  if (name.empty()) return;
  TSettingsStore& ini = SettingsStore();
  const std::string section = PresetSectionPrefix + name;
  for (std::uint8_t channel = 0; channel < ChannelCount; ++channel) {
    const std::string stored = ini.ReadString(section, DeviceKey(channel), "");
    const std::int32_t device = StoredDevice(MidiOutDeviceNames, stored);
    // An absent device's channel falls back to the first device (to none
    // when there is none) and waits for it under its stored name.
    if (device >= 0) {
      MapChannel(channel, SlotOf(device), "");
    } else {
      MapChannel(channel, FallbackSlot(), stored);
    }
  }
}

bool TVelmoraEngine::SavePreset() {
  const std::int32_t index = FPresets->ItemIndex();
  if (index < 0 || index >= FPresets->Count()) return true;
  const std::string name = FPresets->CurrentName();
  if (name.empty()) return true;
  TSettingsWrites ini;
  const std::string section = PresetSectionPrefix + name;
  for (std::uint8_t channel = 0; channel < ChannelCount; ++channel) {
    // A channel waiting for an absent device keeps that device's name; one
    // that maps to no device leaves its stored entry alone, so a machine
    // without output devices does not wipe the stored presets.
    const std::int32_t slot = ChannelSlot(channel);
    if (!FWaitingFor[channel].empty()) {
      ini.WriteString(section, DeviceKey(channel), FWaitingFor[channel]);
    } else if (slot != NoSlot) {
      ini.WriteString(section, DeviceKey(channel), FSlots[slot]->Name());
    }
  }
  // Kept in memory at once, so the next load finds it; a save the settings
  // drop (the map was read while the file could not be) is not kept.
  return ini.Empty() || SettingsStore().Save(ini);
}
