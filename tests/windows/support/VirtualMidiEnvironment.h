// The virtual MIDI devices of the Windows tests, set up once per test
// program before its first MIDI call (winmm reads the device list once).
// Under Wine, with the prefix's audio driver set to "vmidi", winmm loads
// winevmidi.drv from beside the test program; elsewhere (real Windows, or a
// prefix without the driver) VirtualMidi() is nullptr and the tests that
// need the devices skip themselves.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "VirtualMidiController.h"
#include "driver/VirtualDeviceConfig.h"

// The devices every test program sees, by catalogue position.
namespace testdevices {
enum Input : int { InUsbMidi = 0, InKeyboard = 1, InBroken = 2, InputCount = 3 };
enum Output : int { OutUsbMidi = 0, OutSynthB = 1, OutRefusing = 2, OutBroken = 3, OutUsbMidiTwin = 4, OutputCount = 5 };
std::vector<vmidi::VirtualDevice> List();
}  // namespace testdevices

// Starts the controller and makes winmm load the driver; call from main
// before anything touches MIDI. Returns false when the driver is absent.
bool StartVirtualMidi();
vmidi::Controller* VirtualMidi();

#define REQUIRE_VIRTUAL_MIDI()                                                           \
  do {                                                                                   \
    if (!VirtualMidi()) GTEST_SKIP() << "the virtual MIDI driver (winevmidi.drv) is not loaded"; \
  } while (false)

// The test's main thread pumps its messages, as the program's message loop
// does, so that MIDI notices reach the ports.
void PumpMessages();
// Pumps until done() holds or the time is up; true when done() held.
bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 5000);
void PumpFor(DWORD Milliseconds);

// The performance counter in milliseconds, for comparing the driver's time
// stamps.
double QpcToMilliseconds(std::int64_t Qpc);
std::int64_t QpcNow();
