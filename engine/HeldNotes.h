// What the input has left sounding on each output device: notes by channel
// and key in the order they were struck, pedals held down, and pitch bends
// away from the centre. It tells where a release must go when the channel
// has moved since the note began. Main thread only; its whole size is fixed
// when it is made, so recording a message never allocates.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "midi/MidiMessages.h"

class THeldNotes {
 public:
  static constexpr int KeyCount = 128;
  // Pedals followed to every device they are down on: sustain, sostenuto, soft.
  static constexpr std::array<std::uint8_t, 3> PedalControllers = {64, 66, 67};
  static constexpr int NoPedal = -1;
  // Devices one key of one channel can be held on at once, counting a run of
  // strikes on one device as one. A key struck on yet another device ends
  // the oldest run (see NoteOn).
  static constexpr int HoldersPerKey = 16;

  explicit THeldNotes(std::int32_t DeviceCount);

  // Records the key held on Device. Returns the device whose oldest held
  // strikes of this key had to be given up to make room (they must be ended
  // at once), or NoDevice; Evicted receives how many strikes that was.
  std::int32_t NoteOn(std::int32_t Device, int Channel, int Key, int& Evicted);
  // The device that holds the earliest strike of the key, which no longer
  // holds it; NoDevice when none does.
  std::int32_t NoteOff(int Channel, int Key);
  // The device that holds the earliest strike of the key, or NoDevice.
  std::int32_t OldestHolder(int Channel, int Key) const;

  // The index of Controller in PedalControllers, or NoPedal.
  static int PedalIndex(std::uint8_t Controller);
  void SetPedal(std::int32_t Device, int Channel, int Pedal, bool Down);
  bool PedalDown(std::int32_t Device, int Channel, int Pedal) const;

  void SetBent(std::int32_t Device, int Channel, bool Bent);
  bool Bent(std::int32_t Device, int Channel) const;

  // A note or a pedal of the channel is held on the device.
  bool HoldsChannel(std::int32_t Device, int Channel) const;
  void ForgetNotes(std::int32_t Device, int Channel);
  void ForgetPedals(std::int32_t Device, int Channel);
  void ForgetDevice(std::int32_t Device);  // notes, pedals and bends
  void ForgetNotesAndPedals();              // on every device; bends stay

  // VisitNote(device, channel, key) once for every strike still held, then
  // VisitPedal(device, channel, controller) for every pedal down.
  template <class NoteVisitor, class PedalVisitor>
  void ForEachHeld(NoteVisitor VisitNote, PedalVisitor VisitPedal) const;

 private:
  struct THolder {
    std::int16_t Device;
    std::uint16_t Strikes;
  };
  // The holders of one key of one channel, earliest first.
  struct THolders {
    std::array<THolder, HoldersPerKey> Items;
    std::uint8_t Count = 0;
  };
  struct TDeviceChannel {
    std::uint32_t Strikes = 0;   // notes held on the device, all keys
    std::uint8_t PedalsDown = 0;  // one bit per PedalControllers entry
    bool Bent = false;
  };

  THolders& KeyHolders(int Channel, int Key) { return FKeys[Channel * KeyCount + Key]; }
  const THolders& KeyHolders(int Channel, int Key) const { return FKeys[Channel * KeyCount + Key]; }
  TDeviceChannel& At(std::int32_t Device, int Channel) {
    return FDevices[static_cast<std::size_t>(Device) * ChannelCount + Channel];
  }
  const TDeviceChannel& At(std::int32_t Device, int Channel) const {
    return FDevices[static_cast<std::size_t>(Device) * ChannelCount + Channel];
  }
  void RemoveHolder(THolders& Holders, int Index);

  std::vector<THolders> FKeys;          // ChannelCount * KeyCount
  std::vector<TDeviceChannel> FDevices;  // DeviceCount * ChannelCount
};

template <class NoteVisitor, class PedalVisitor>
void THeldNotes::ForEachHeld(NoteVisitor VisitNote, PedalVisitor VisitPedal) const {
  for (int channel = 0; channel < ChannelCount; ++channel) {
    for (int key = 0; key < KeyCount; ++key) {
      const THolders& holders = KeyHolders(channel, key);
      for (int i = 0; i < holders.Count; ++i)
        for (int strike = 0; strike < holders.Items[i].Strikes; ++strike)
          VisitNote(holders.Items[i].Device, channel, key);
    }
  }
  const std::int32_t deviceCount = static_cast<std::int32_t>(FDevices.size() / ChannelCount);
  for (std::int32_t device = 0; device < deviceCount; ++device)
    for (int channel = 0; channel < ChannelCount; ++channel)
      for (std::size_t pedal = 0; pedal < PedalControllers.size(); ++pedal)
        if (PedalDown(device, channel, static_cast<int>(pedal)))
          VisitPedal(device, channel, PedalControllers[pedal]);
}
