// The engine's settings and preset maps in the settings file. Devices are
// stored by display name, so settings follow a device when the system lists
// devices in another order. Loads read the settings kept in memory and saves
// are written by the settings' own thread, so a preset switch never waits
// for the disk.
#include <algorithm>
#include <string>

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

const std::string DeviceKeyPrefix = "Device";
std::string DeviceKey(std::int32_t n) { return DeviceKeyPrefix + std::to_string(n); }
std::string DelayKey(std::int32_t n) { return "Delay" + std::to_string(n); }

// The position of the first device whose name matches the stored one, or
// NoDevice. An empty name (an absent key, or a device unreadable when stored)
// must not pick an unreadable device, which the catalogue lists under "".
std::int32_t StoredDevice(const TDeviceNames& names, const std::string& stored) {
  if (stored.empty()) return NoDevice;
  for (std::int32_t i = 0; i < names.Count(); ++i) {
    const std::string asStored = TIniFile::AsReadBack(names[i]);  // a padded name loses its outer blanks
    if (SameText(asStored, stored)) return i;
  }
  return NoDevice;
}
}  // namespace

void TVelmoraEngine::LoadSettings() {
  TSettingsStore& ini = SettingsStore();

  const std::int32_t input =
      StoredDevice(MidiInDeviceNames, ini.ReadString(EngineSection, "MidiInDeviceName", ""));
  SetMidiInDevice(input >= 0 ? input : 0);

  // Only the pairs below the stored count whose device key is there: a gap
  // keeps the later pairs, and a corrupted count costs nothing.
  const std::int32_t pairs = ini.ReadInteger(DelaysSection, "MidiOutNumDevs", 0);
  const std::int32_t lastPair = pairs > 0 ? pairs - 1 : -1;
  for (const std::int32_t n : ini.NumberedKeys(DelaysSection, DeviceKeyPrefix, 0, lastPair)) {
    const std::int32_t device = StoredDevice(MidiOutDeviceNames, ini.ReadString(DelaysSection, DeviceKey(n), ""));
    if (device < 0) continue;  // an absent device's delay is not read
    SetDelay(device, ini.ReadInteger(DelaysSection, DelayKey(n), 0));
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
  if (FMidiInDevice >= 0 && FMidiInDevice < MidiInDeviceNames.Count())
    ini.WriteString(EngineSection, "MidiInDeviceName", MidiInDeviceNames[FMidiInDevice]);
  ini.WriteInteger(DelaysSection, "MidiOutNumDevs", MidiOutCount());
  for (std::int32_t i = 0; i < MidiOutCount(); ++i) {
    ini.WriteString(DelaysSection, DeviceKey(i), MidiOutDeviceNames[i]);
    ini.WriteInteger(DelaysSection, DelayKey(i), FDelays[i]);
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
    const std::int32_t device =
        StoredDevice(MidiOutDeviceNames, ini.ReadString(section, DeviceKey(channel), ""));
    // An unknown device falls back to the first one; with no output devices
    // at all the channel maps to none.
    SetChannelDevice(channel, device >= 0 ? device : (MidiOutCount() > 0 ? 0 : NoDevice));
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
    const std::int32_t device = ChannelDevices(channel);
    // A channel that maps to no device leaves its stored entry alone, so a
    // machine without output devices does not wipe the stored presets.
    if (device < 0 || device >= MidiOutDeviceNames.Count()) continue;
    ini.WriteString(section, DeviceKey(channel), MidiOutDeviceNames[device]);
  }
  // Kept in memory at once, so the next load finds it; a save the settings
  // drop (the map was read while the file could not be) is not kept.
  return ini.Empty() || SettingsStore().Save(ini);
}
