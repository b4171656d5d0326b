// The catalogue of the installed MIDI devices, read once at start-up. A
// device is known by its position (the system's device identifier) and, in
// the settings file, by its display name: "product (major.minor)".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/MmSystem.h"

class TDeviceNames {
 public:
  std::int32_t Count() const { return static_cast<std::int32_t>(FNames.size()); }
  const std::string& operator[](std::int32_t Index) const { return FNames.at(Index); }
  const std::vector<std::string>& Items() const { return FNames; }
  // First entry equal to Name without regard to letter case, or -1.
  std::int32_t IndexOf(const std::string& Name) const;
  void Add(std::string Name) { FNames.push_back(std::move(Name)); }
  void Clear() { FNames.clear(); }

 private:
  std::vector<std::string> FNames;
};

extern TDeviceNames MidiInDeviceNames;
extern std::int32_t MidiInDeviceCount;
extern TDeviceNames MidiOutDeviceNames;
extern std::int32_t MidiOutDeviceCount;

// "product (major.minor)" from a capability record's name and driver version.
std::string DeviceDisplayName(const char (&ProductName)[MAXPNAMELEN], UINT DriverVersion);

// At program start, before the engine is created; at program end, after it.
// Also while the program runs, on the main thread, when the system reports
// that its devices changed: the lists then hold the devices present now.
void BuildDeviceCatalogue();
// The display name of the device with this number as the system reports it
// now, or nothing when it cannot be read (a cheap look: no device is opened).
std::optional<std::string> ReadInputDeviceName(std::int32_t Device);
std::optional<std::string> ReadOutputDeviceName(std::int32_t Device);
void FreeDeviceCatalogue();

// Letter-case-blind comparison used for device and preset names.
bool SameText(const std::string& Left, const std::string& Right);
