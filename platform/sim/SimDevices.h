// What the input and output drivers share: the configured device list with
// its presence flags, the answer to a capability request, and the rules of a
// call's first checks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sim/SimDriver.h"

namespace sim {

// A device's product name as the capability record holds it: cut to 31
// characters and a zero, or, for NameFillsAll, 32 characters and no zero.
inline void CopyProductName(const DeviceConfig& config, CHAR (&name)[MAXPNAMELEN]) {
  std::memset(name, 0, sizeof name);
  const std::size_t room = config.NameFillsAll ? MAXPNAMELEN : MAXPNAMELEN - 1;
  std::memcpy(name, config.Name.data(), std::min(room, config.Name.size()));
}

inline void CheckDeviceConfigs(const std::vector<DeviceConfig>& devices) {
  for (const DeviceConfig& device : devices) {
    if (device.NameFillsAll && device.Name.size() < static_cast<std::size_t>(MAXPNAMELEN)) {
      throw std::invalid_argument("sim: NameFillsAll needs a name of at least 32 characters: \"" +
                                  device.Name + "\"");
    }
  }
}

// Answers a capability request as winmm does: the record is written only up
// to the size the caller gives.
template <typename Caps>
MMRESULT AnswerCaps(const Caps& full, Caps* caps, UINT capsSize) {
  if (caps == nullptr || capsSize == 0) return MMSYSERR_INVALPARAM;
  std::memcpy(caps, &full, std::min<std::size_t>(capsSize, sizeof(Caps)));
  return MMSYSERR_NOERROR;
}

// A device stops answering or answers again; a handle open when it stopped
// stays dead until it is closed.
template <typename Device>
void SetDevicePresent(Device& device, bool present) {
  device.Present = present;
  if (!present && device.Handle != 0) device.Dead = true;
}

// A change of the machine's device list (see ChangeOutputDevices): each
// entry of `configs` takes the first known device of its name, version and
// unit not taken yet, or a new one; known devices left over have left. A
// device that leaves while open keeps a dead handle. Returns the physical
// device of each id.
template <typename Device>
std::vector<int> ChangeDeviceList(std::vector<Device>& devices, std::vector<DeviceConfig> configs) {
  CheckDeviceConfigs(configs);
  std::vector<bool> taken(devices.size(), false);
  std::vector<int> order;
  for (DeviceConfig& config : configs) {
    int found = -1;
    for (std::size_t i = 0; i < devices.size() && found < 0; ++i) {
      const DeviceConfig& known = devices[i].Config;
      if (!taken[i] && known.Name == config.Name && known.DriverVersion == config.DriverVersion &&
          known.Unit == config.Unit)
        found = static_cast<int>(i);
    }
    if (found < 0) {
      found = static_cast<int>(devices.size());
      devices.emplace_back();
      taken.push_back(false);
    }
    taken[static_cast<std::size_t>(found)] = true;
    devices[static_cast<std::size_t>(found)].Config = std::move(config);
    devices[static_cast<std::size_t>(found)].Present = true;
    order.push_back(found);
  }
  for (std::size_t i = 0; i < devices.size(); ++i)
    if (!taken[i]) SetDevicePresent(devices[i], false);
  return order;
}

// The smallest header size the system takes (the record before dwOffset,
// which the oldest callers did not have).
inline bool HeaderSizeValid(UINT headerSize) {
  return headerSize >= offsetof(MIDIHDR, dwOffset);
}

}  // namespace sim
