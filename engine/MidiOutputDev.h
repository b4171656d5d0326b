// The engine's output device: an output port bound to one catalogue device
// and opened by reference count, one count per channel routed to it.
#pragma once

#include <cstdint>

#include "midi/MidiOutput.h"

class TMidiOutputDev : public TMidiOutput {
 public:
  explicit TMidiOutputDev(std::int32_t DeviceNumber);

  void AddRef();   // opens the device when the count becomes 1
  void Release();  // closes it when the count becomes 0; throws below 0
  bool OpenDevice();  // opens on DeviceNumber; the count is not touched
  // Always throws "Mustnot call this function.": the device opens only
  // through AddRef and OpenDevice.
  bool Open(std::int32_t Index) override;

  std::int32_t DeviceNumber() const { return FDeviceNumber; }
  std::int32_t RefCount() const { return FRefCount; }

 private:
  const std::int32_t FDeviceNumber;
  std::int32_t FRefCount = 0;  // main thread only
};
