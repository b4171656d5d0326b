// The engine's output device: an output port bound to one catalogue device
// and opened by reference count, one count per channel routed to it.
#pragma once

#include <atomic>
#include <cstdint>

#include "midi/MidiOutput.h"

class TMidiOutputDev : public TMidiOutput {
 public:
  explicit TMidiOutputDev(std::int32_t DeviceNumber);

  void AddRef();   // opens the device when the count becomes 1
  void Release();  // closes it when the count becomes 0; throws below 0
  bool OpenDevice();  // opens on DeviceNumber; the count is not touched
  // Throws: the device is bound to DeviceNumber and opens only through AddRef
  // and OpenDevice.
  bool Open(std::int32_t Index) override;

  std::int32_t DeviceNumber() const { return FDeviceNumber; }
  std::int32_t RefCount() const { return FRefCount; }

  // Messages for this device that are queued or being sent. While there are
  // none, a message that is due when it arrives can be sent at once without
  // overtaking another.
  void MessageWaiting() { FWaiting.fetch_add(1, std::memory_order_acq_rel); }
  void MessageDone() { FWaiting.fetch_sub(1, std::memory_order_acq_rel); }
  bool NothingWaiting() const { return FWaiting.load(std::memory_order_acquire) == 0; }

 private:
  const std::int32_t FDeviceNumber;
  std::int32_t FRefCount = 0;  // main thread only
  // Counted up on the main thread as a message is made, down on the thread
  // that frees it once it has been sent (or dropped).
  std::atomic<std::int32_t> FWaiting{0};
};
