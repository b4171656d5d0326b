#include "engine/StoredDeviceNames.h"

#include "midi/MidiMessages.h"
#include "settings/IniFile.h"

bool NamesDevice(const std::string& Stored, const std::string& Name) {
  // A padded name loses its outer blanks in the file.
  return SameText(TIniFile::AsReadBack(Name), TIniFile::AsReadBack(Stored));
}

std::int32_t StoredDevice(const TDeviceNames& Names, const std::string& Stored) {
  if (Stored.empty()) return NoDevice;
  for (std::int32_t i = 0; i < Names.Count(); ++i)
    if (NamesDevice(Stored, Names[i])) return i;
  return NoDevice;
}
