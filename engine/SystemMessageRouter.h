// Where a system message (status F1 to FF) goes: by the channel its low four
// bits name, as channel messages go; to every open output device; or
// nowhere. System exclusive is not decided here: it always goes to every
// open device. Main thread only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "midi/MidiMessages.h"

enum TSystemMessages : std::int32_t {
  smByChannel = 0,      // to the device of the channel of the low four bits
  smToEveryDevice = 1,  // to each open output device, each with its own delay
  smNotPassedOn = 2,
};

class TSystemMessageRouter {
 public:
  static constexpr std::uint8_t ActiveSensing = 0xFE;

  explicit TSystemMessageRouter(std::int32_t DeviceCount) : FSensing(static_cast<std::size_t>(DeviceCount), false) {}

  // A value that is none of the choices reads as smByChannel.
  static TSystemMessages ChoiceOf(std::int32_t Value) {
    return Value == smToEveryDevice || Value == smNotPassedOn ? static_cast<TSystemMessages>(Value) : smByChannel;
  }
  static bool IsSystemMessage(DWORD Data) {
    return midi::KindOf(Data) == midi::SystemKind && midi::StatusOf(Data) != 0xF0;
  }

  TSystemMessages Choice() const { return FChoice; }
  void SetChoice(TSystemMessages Choice) { FChoice = Choice; }

  // Calls Send(Device) once for each device below DeviceCount that gets the
  // system message Data, in device order. ChannelDevice is the device of the
  // channel its low four bits name; IsOpen(Device) tells whether a device is
  // open.
  //
  // A device in the middle of Active Sensing that stopped getting it (its
  // channel moved, or the choice changed) would silence its notes 300 ms
  // later, as the MIDI rule asks of it. So a device keeps getting the
  // input's Active Sensing for as long as it stays open once it has had
  // some, whatever the routing or the choice says since; it stops when the
  // input stops sending it, as the rule means.
  template <class IsOpen, class Send>
  void Route(DWORD Data, std::int32_t ChannelDevice, std::int32_t DeviceCount, IsOpen&& DeviceOpen,
             Send&& SendTo) {
    const bool sensing = midi::StatusOf(Data) == ActiveSensing;
    const auto devices = std::min(DeviceCount, static_cast<std::int32_t>(FSensing.size()));
    for (std::int32_t device = 0; device < devices; ++device) {
      const auto slot = static_cast<std::size_t>(device);
      if (!DeviceOpen(device)) {
        FSensing[slot] = false;  // a device opened again starts afresh
        continue;
      }
      const bool chosen = FChoice == smToEveryDevice || (FChoice == smByChannel && device == ChannelDevice);
      if (!chosen && !(sensing && FSensing[slot])) continue;
      if (sensing) FSensing[slot] = true;
      SendTo(device);
    }
  }

 private:
  TSystemMessages FChoice = smByChannel;
  // The devices that have had Active Sensing since they were opened.
  std::vector<bool> FSensing;
};
