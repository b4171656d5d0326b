// The engine's output device: an output port bound to one device of the
// catalogue, known by its display name for the whole run, and opened by
// reference count, one count per channel routed to it. When the system
// numbers its devices anew the device keeps its object and gets its new
// number; while it is absent from the catalogue its number is NoDevice.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "midi/MidiOutput.h"

class TMidiOutputDev : public TMidiOutput {
 public:
  explicit TMidiOutputDev(std::int32_t DeviceNumber, std::string Name = "");

  void AddRef();   // opens the device when the count becomes 1
  void Release();  // closes it when the count becomes 0; throws below 0
  bool OpenDevice();  // opens on DeviceNumber; the count is not touched
  // Throws: the device is bound to DeviceNumber and opens only through AddRef
  // and OpenDevice.
  bool Open(std::int32_t Index) override;

  std::int32_t DeviceNumber() const { return FDeviceNumber; }
  void SetDeviceNumber(std::int32_t Number) { FDeviceNumber = Number; }
  bool Present() const { return FDeviceNumber >= 0; }
  const std::string& Name() const { return FName; }
  std::int32_t RefCount() const { return FRefCount; }

  // Messages for this device that are queued or being sent. While there are
  // none, a message that is due when it arrives can be sent at once without
  // overtaking another.
  void MessageWaiting() { FWaiting.fetch_add(1, std::memory_order_acq_rel); }
  void MessageDone() { FWaiting.fetch_sub(1, std::memory_order_acq_rel); }
  bool NothingWaiting() const { return FWaiting.load(std::memory_order_acquire) == 0; }

 private:
  std::int32_t FDeviceNumber;  // main thread only
  const std::string FName;
  std::int32_t FRefCount = 0;  // main thread only
  // Counted up on the main thread as a message is made, down on the thread
  // that frees it once it has been sent (or dropped).
  std::atomic<std::int32_t> FWaiting{0};
};
