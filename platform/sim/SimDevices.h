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

// The smallest header size the system takes (the record before dwOffset,
// which the oldest callers did not have).
inline bool HeaderSizeValid(UINT headerSize) {
  return headerSize >= offsetof(MIDIHDR, dwOffset);
}

}  // namespace sim
