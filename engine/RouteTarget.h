// What the routing decision needs of the engine: the channel map, the
// devices, and the two ways a message is queued for a device. Main thread.
#pragma once

#include <cstdint>

#include "midi/MidiMessages.h"
#include "platform/DateTime.h"

class TRouteTarget {
 public:
  // The device (slot) a channel maps to now, or NoDevice.
  virtual std::int32_t ChannelDevice(std::uint8_t Channel) const = 0;
  // Devices are numbered 0..DeviceCount()-1.
  virtual std::int32_t DeviceCount() const = 0;
  virtual bool DeviceOpen(std::int32_t Device) const = 0;
  // Queues Data for Device, due after the device's delay from Now.
  virtual void SendAfterDelay(std::int32_t Device, DWORD Data, TDateTime Now) = 0;
  // Queues Data for Device, due at Now (behind what is queued for it already).
  virtual void SendAtOnce(std::int32_t Device, DWORD Data, TDateTime Now) = 0;

 protected:
  ~TRouteTarget() = default;
};
