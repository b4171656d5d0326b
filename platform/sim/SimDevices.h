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
inline void CopyProductName(const DeviceConfig& Config, CHAR (&Name)[MAXPNAMELEN]) {
  std::memset(Name, 0, sizeof Name);
  const std::size_t room = Config.NameFillsAll ? MAXPNAMELEN : MAXPNAMELEN - 1;
  std::memcpy(Name, Config.Name.data(), std::min(room, Config.Name.size()));
}

inline void CheckDeviceConfigs(const std::vector<DeviceConfig>& Devices) {
  for (const DeviceConfig& device : Devices) {
    if (device.NameFillsAll && device.Name.size() < static_cast<std::size_t>(MAXPNAMELEN)) {
      throw std::invalid_argument("sim: NameFillsAll needs a name of at least 32 characters: \"" +
                                  device.Name + "\"");
    }
  }
}

// Answers a capability request as winmm does: the record is written only up
// to the size the caller gives.
template <typename Caps>
MMRESULT AnswerCaps(const Caps& Full, Caps* Answer, UINT CapsSize) {
  if (Answer == nullptr || CapsSize == 0) return MMSYSERR_INVALPARAM;
  std::memcpy(Answer, &Full, std::min<std::size_t>(CapsSize, sizeof(Caps)));
  return MMSYSERR_NOERROR;
}

// A device stops answering or answers again; a handle open when it stopped
// stays dead until it is closed.
template <typename Device>
void SetDevicePresent(Device& Entry, bool Present) {
  Entry.Present = Present;
  if (!Present && Entry.Handle != 0) Entry.Dead = true;
}

// A change of the machine's device list (see ChangeOutputDevices): each
// entry of `Configs` takes the first known device of its name, version and
// unit not taken yet, or a new one; known devices left over have left. A
// device that leaves while open keeps a dead handle. Returns the physical
// device of each id.
template <typename Device>
std::vector<int> ChangeDeviceList(std::vector<Device>& Devices, std::vector<DeviceConfig> Configs) {
  CheckDeviceConfigs(Configs);
  std::vector<bool> taken(Devices.size(), false);
  std::vector<int> order;
  for (DeviceConfig& config : Configs) {
    int found = -1;
    for (std::size_t i = 0; i < Devices.size() && found < 0; ++i) {
      const DeviceConfig& known = Devices[i].Config;
      if (!taken[i] && known.Name == config.Name && known.DriverVersion == config.DriverVersion &&
          known.Unit == config.Unit)
        found = static_cast<int>(i);
    }
    if (found < 0) {
      found = static_cast<int>(Devices.size());
      Devices.emplace_back();
      taken.push_back(false);
    }
    taken[static_cast<std::size_t>(found)] = true;
    Devices[static_cast<std::size_t>(found)].Config = std::move(config);
    Devices[static_cast<std::size_t>(found)].Present = true;
    order.push_back(found);
  }
  for (std::size_t i = 0; i < Devices.size(); ++i)
    if (!taken[i]) SetDevicePresent(Devices[i], false);
  return order;
}

// The smallest header size the system takes (the record before dwOffset,
// which the oldest callers did not have).
inline bool HeaderSizeValid(UINT HeaderSize) {
  return HeaderSize >= offsetof(MIDIHDR, dwOffset);
}

}  // namespace sim
