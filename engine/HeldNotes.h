// What the input has left sounding on each output device: the devices each
// key is held on, in the order they were first struck there, pedals not yet
// fully up, and pitch bends away from the centre. It tells where a release
// must go when the channel has moved since the note began. Main thread only;
// its whole size is fixed when it is made, so recording a message never
// allocates, and no count in it can wrap.
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
  // Devices one key of one channel can be held on at once. A key struck on
  // yet another device ends it on the device that has held it longest (see
  // NoteOn).
  static constexpr int HoldersPerKey = 16;

  explicit THeldNotes(std::int32_t DeviceCount);

  // Records the key held on Device; a key struck again where it is held
  // already adds nothing, since one Note Off there ends every strike.
  // Returns the device that had to give the key up to make room (it must be
  // ended there at once), or NoDevice.
  std::int32_t NoteOn(std::int32_t Device, int Channel, int Key);
  // The device that has held the key longest, which no longer holds it;
  // NoDevice when none does.
  std::int32_t NoteOff(int Channel, int Key);
  // The device that has held the key longest, or NoDevice.
  std::int32_t OldestHolder(int Channel, int Key) const;

  // The index of Controller in PedalControllers, or NoPedal.
  static int PedalIndex(std::uint8_t Controller);
  // A pedal counts as held from any value above 0 (a half-damper pedal
  // coming up slowly still sounds at 63), until a 0.
  static bool PedalHeldAt(std::uint8_t Value) { return Value > 0; }
  void SetPedal(std::int32_t Device, int Channel, int Pedal, bool Held);
  bool PedalHeld(std::int32_t Device, int Channel, int Pedal) const;

  void SetBent(std::int32_t Device, int Channel, bool Bent);
  bool Bent(std::int32_t Device, int Channel) const;

  // A note or a pedal of the channel is held on the device.
  bool HoldsChannel(std::int32_t Device, int Channel) const;
  void ForgetNotes(std::int32_t Device, int Channel);
  void ForgetPedals(std::int32_t Device, int Channel);
  void ForgetDevice(std::int32_t Device);  // notes, pedals and bends
  void ForgetAll();                         // on every device

  // VisitNote(device, channel, key) once for every key held on a device,
  // then VisitPedal(device, channel, controller) for every pedal held, then
  // VisitBend(device, channel) for every channel bent.
  template <class NoteVisitor, class PedalVisitor, class BendVisitor>
  void ForEachHeld(NoteVisitor VisitNote, PedalVisitor VisitPedal, BendVisitor VisitBend) const;

 private:
  // The devices holding one key of one channel, the longest held first.
  struct THolders {
    std::array<std::int16_t, HoldersPerKey> Devices;
    std::uint8_t Count = 0;
  };
  struct TDeviceChannel {
    std::uint8_t KeysHeld = 0;    // at most KeyCount
    std::uint8_t PedalsHeld = 0;  // one bit per PedalControllers entry
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
  std::int32_t DeviceCount() const { return static_cast<std::int32_t>(FDevices.size() / ChannelCount); }
  // Drops the holder at Index, and the key from its device's count.
  void RemoveHolder(THolders& Holders, int Channel, int Index);

  std::vector<THolders> FKeys;          // ChannelCount * KeyCount
  std::vector<TDeviceChannel> FDevices;  // DeviceCount * ChannelCount
};

template <class NoteVisitor, class PedalVisitor, class BendVisitor>
void THeldNotes::ForEachHeld(NoteVisitor VisitNote, PedalVisitor VisitPedal, BendVisitor VisitBend) const {
  for (int channel = 0; channel < ChannelCount; ++channel) {
    for (int key = 0; key < KeyCount; ++key) {
      const THolders& holders = KeyHolders(channel, key);
      for (int i = 0; i < holders.Count; ++i) VisitNote(holders.Devices[i], channel, key);
    }
  }
  for (std::int32_t device = 0; device < DeviceCount(); ++device)
    for (int channel = 0; channel < ChannelCount; ++channel)
      for (std::size_t pedal = 0; pedal < PedalControllers.size(); ++pedal)
        if (PedalHeld(device, channel, static_cast<int>(pedal)))
          VisitPedal(device, channel, PedalControllers[pedal]);
  for (std::int32_t device = 0; device < DeviceCount(); ++device)
    for (int channel = 0; channel < ChannelCount; ++channel)
      if (Bent(device, channel)) VisitBend(device, channel);
}
