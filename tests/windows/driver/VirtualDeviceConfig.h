// The virtual devices that winevmidi.drv offers, as VELMORA_VMIDI_DEVICES
// lists them: entries separated by ";", each "in|name|version" or
// "out|name|version", optionally followed by "|refuse" (every open fails
// with MMSYSERR_ALLOCATED) and "|capsfail" (the capability query fails).
// The version is "major.minor" in decimal ("1.5" is 0x0105) or a "0x" hex
// value. Without the variable the driver offers two inputs "Virtual
// Keyboard" and "Virtual Pads" (a second one to merge on the Inputs page) and
// two outputs "Virtual Synth A" and "Virtual Synth B", all version 1.0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vmidi {

struct VirtualDevice {
  bool Output = false;
  std::string Name;  // at most 31 characters are reported
  std::uint32_t DriverVersion = 0x0100;
  bool RefuseOpen = false;
  bool CapsFail = false;
};

inline std::uint32_t ParseDriverVersion(const std::string& Text) {
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X'))
    return static_cast<std::uint32_t>(std::stoul(Text.substr(2), nullptr, 16));
  const auto dot = Text.find('.');
  if (dot == std::string::npos) return static_cast<std::uint32_t>(std::stoul(Text) << 8);
  return static_cast<std::uint32_t>((std::stoul(Text.substr(0, dot)) << 8) |
                                    (std::stoul(Text.substr(dot + 1)) & 0xFF));
}

inline std::vector<std::string> SplitText(const std::string& Text, char Separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const auto end = Text.find(Separator, start);
    parts.push_back(Text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// Entries that do not parse are skipped, so a typo removes one device
// rather than the whole list.
inline std::vector<VirtualDevice> ParseDeviceList(const std::string& Text) {
  std::vector<VirtualDevice> devices;
  for (const auto& entry : SplitText(Text, ';')) {
    const auto fields = SplitText(entry, '|');
    if (fields.size() < 3 || (fields[0] != "in" && fields[0] != "out")) continue;
    VirtualDevice device;
    device.Output = fields[0] == "out";
    device.Name = fields[1];
    try {
      device.DriverVersion = ParseDriverVersion(fields[2]);
    } catch (...) {
      continue;
    }
    for (std::size_t i = 3; i < fields.size(); ++i) {
      if (fields[i] == "refuse") device.RefuseOpen = true;
      if (fields[i] == "capsfail") device.CapsFail = true;
    }
    devices.push_back(device);
  }
  return devices;
}

inline std::string FormatDeviceList(const std::vector<VirtualDevice>& Devices) {
  std::string text;
  for (const auto& d : Devices) {
    if (!text.empty()) text += ';';
    text += d.Output ? "out|" : "in|";
    text += d.Name + "|" + std::to_string(d.DriverVersion >> 8) + "." +
            std::to_string(d.DriverVersion & 0xFF);
    if (d.RefuseOpen) text += "|refuse";
    if (d.CapsFail) text += "|capsfail";
  }
  return text;
}

inline std::vector<VirtualDevice> DefaultDeviceList() {
  return ParseDeviceList(
      "in|Virtual Keyboard|1.0;in|Virtual Pads|1.0;out|Virtual Synth A|1.0;out|Virtual Synth B|1.0");
}

}  // namespace vmidi
