#include "VirtualMidiEnvironment.h"

#include "platform/MmSystem.h"

#include <memory>
#include <string>

namespace testdevices {
std::vector<vmidi::VirtualDevice> List() {
  return vmidi::ParseDeviceList(
      "in|USB MIDI|1.5;in|Virtual Keyboard|1.0;in|Broken In|1.0|capsfail;"
      "out|USB MIDI|1.5;out|Virtual Synth B|1.10;out|Refusing Synth|0.0|refuse;"
      "out|Broken Out|1.0|capsfail;out|usb midi|1.5");
}
}  // namespace testdevices

namespace {
std::unique_ptr<vmidi::Controller> controller;
}

bool StartVirtualMidi() {
  auto candidate = std::make_unique<vmidi::Controller>();
  if (!candidate->Listen()) return false;
  SetEnvironmentVariableA(vmidi::ControlPortVariable, std::to_string(candidate->Port()).c_str());
  SetEnvironmentVariableA(vmidi::DevicesVariable, vmidi::FormatDeviceList(testdevices::List()).c_str());
  ::midiOutGetNumDevs();  // winmm loads its drivers on the first MIDI call
  if (!GetModuleHandleA(vmidi::DriverModuleName)) return false;
  if (!candidate->AcceptDriver(15000)) return false;
  controller = std::move(candidate);
  return true;
}

vmidi::Controller* VirtualMidi() { return controller.get(); }

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + TimeoutMs;
  for (;;) {
    PumpMessages();
    if (Done()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

void PumpFor(DWORD Milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + Milliseconds;
  while (GetTickCount64() < deadline) {
    PumpMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
  PumpMessages();
}

std::int64_t QpcNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double QpcToMilliseconds(std::int64_t Qpc) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return static_cast<double>(Qpc) * 1000.0 / frequency;
}
