#include "midi/MidiIO.h"

#include <cstring>

#include "midi/MidiMessages.h"
#include "platform/Platform.h"

TDeviceNames MidiInDeviceNames;
std::int32_t MidiInDeviceCount = 0;
TDeviceNames MidiOutDeviceNames;
std::int32_t MidiOutDeviceCount = 0;

namespace {
char FoldCase(char Character) {
  // ASCII letters fold; other bytes compare as they are. The names come
  // from the system in its single-byte code page, where that is the part a
  // user changes by typing.
  return (Character >= 'a' && Character <= 'z') ? static_cast<char>(Character - 'a' + 'A') : Character;
}
}  // namespace

bool SameText(const std::string& Left, const std::string& Right) {
  if (Left.size() != Right.size()) return false;
  for (std::size_t i = 0; i < Left.size(); ++i) {
    if (FoldCase(Left[i]) != FoldCase(Right[i])) return false;
  }
  return true;
}

std::int32_t TDeviceNames::IndexOf(const std::string& Name) const {
  for (std::size_t i = 0; i < FNames.size(); ++i) {
    if (SameText(FNames[i], Name)) return static_cast<std::int32_t>(i);
  }
  return NoDevice;
}

std::string DeviceDisplayName(const char (&ProductName)[MAXPNAMELEN], UINT DriverVersion) {
  // A name that fills all 32 characters has no terminating zero.
  const std::size_t length = strnlen(ProductName, MAXPNAMELEN);
  std::string name(ProductName, length);
  name += " (";
  name += std::to_string((DriverVersion >> 8) & 0xFF);
  name += ".";
  name += std::to_string(DriverVersion & 0xFF);
  name += ")";
  return name;
}

namespace {
template <class Caps, class GetCaps>
std::optional<std::string> ReadDeviceName(std::int32_t Device, GetCaps Get) {
  Caps caps{};
  if (Device < 0 || Get(static_cast<UINT_PTR>(Device), &caps, sizeof(caps)) != MMSYSERR_NOERROR) return std::nullopt;
  return DeviceDisplayName(caps.szPname, caps.vDriverVersion);
}
}  // namespace

std::optional<std::string> ReadInputDeviceName(std::int32_t Device) {
  return ReadDeviceName<MIDIINCAPSA>(Device, platform::midiInGetDevCapsA);
}

std::optional<std::string> ReadOutputDeviceName(std::int32_t Device) {
  return ReadDeviceName<MIDIOUTCAPSA>(Device, platform::midiOutGetDevCapsA);
}

void BuildDeviceCatalogue() {
  // A device whose capabilities cannot be read is listed as "", so that
  // positions keep matching device identifiers.
  MidiInDeviceNames.Clear();
  MidiInDeviceCount = static_cast<std::int32_t>(platform::midiInGetNumDevs());
  for (std::int32_t id = 0; id < MidiInDeviceCount; ++id) MidiInDeviceNames.Add(ReadInputDeviceName(id).value_or(""));
  MidiOutDeviceNames.Clear();
  MidiOutDeviceCount = static_cast<std::int32_t>(platform::midiOutGetNumDevs());
  for (std::int32_t id = 0; id < MidiOutDeviceCount; ++id)
    MidiOutDeviceNames.Add(ReadOutputDeviceName(id).value_or(""));
}

void FreeDeviceCatalogue() {
  MidiInDeviceNames.Clear();
  MidiInDeviceCount = 0;
  MidiOutDeviceNames.Clear();
  MidiOutDeviceCount = 0;
}
