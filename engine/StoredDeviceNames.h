// Device names as the settings file holds them, matched to the devices of
// the catalogue: letter case ignored, the first match wins, and a name read
// back from the file has lost the outer blanks a device's name may have.
#pragma once

#include <cstdint>
#include <string>

#include "midi/MidiIO.h"

// Whether Stored, as read from the settings file, names a device called Name.
bool NamesDevice(const std::string& Stored, const std::string& Name);
// The position of the first device Stored names, or NoDevice. An empty name
// (an absent key, or a device unreadable when stored) must not pick an
// unreadable device, which the catalogue lists under "".
std::int32_t StoredDevice(const TDeviceNames& Names, const std::string& Stored);
