#include "engine/HeldNotes.h"

#include <algorithm>

THeldNotes::THeldNotes(std::int32_t DeviceCount)
    : FKeys(static_cast<std::size_t>(ChannelCount) * KeyCount),
      FDevices(static_cast<std::size_t>(std::max(DeviceCount, 0)) * ChannelCount) {}

std::int32_t THeldNotes::NoteOn(std::int32_t Device, int Channel, int Key) {
  THolders& holders = KeyHolders(Channel, Key);
  const auto end = holders.Devices.begin() + holders.Count;
  if (std::find(holders.Devices.begin(), end, Device) != end) return NoDevice;
  std::int32_t givenUp = NoDevice;
  if (holders.Count == HoldersPerKey) {
    // Only a key held down while its channel visits more devices than this
    // gets here; the longest held is ended rather than forgotten, so it
    // cannot hang.
    givenUp = holders.Devices[0];
    RemoveHolder(holders, Channel, 0);
  }
  holders.Devices[holders.Count++] = static_cast<std::int16_t>(Device);
  ++At(Device, Channel).KeysHeld;
  return givenUp;
}

std::int32_t THeldNotes::NoteOff(int Channel, int Key) {
  THolders& holders = KeyHolders(Channel, Key);
  if (holders.Count == 0) return NoDevice;
  const std::int32_t device = holders.Devices[0];
  RemoveHolder(holders, Channel, 0);
  return device;
}

std::int32_t THeldNotes::OldestHolder(int Channel, int Key) const {
  const THolders& holders = KeyHolders(Channel, Key);
  return holders.Count == 0 ? NoDevice : holders.Devices[0];
}

int THeldNotes::PedalIndex(std::uint8_t Controller) {
  const auto found = std::find(PedalControllers.begin(), PedalControllers.end(), Controller);
  return found == PedalControllers.end() ? NoPedal : static_cast<int>(found - PedalControllers.begin());
}

void THeldNotes::SetPedal(std::int32_t Device, int Channel, int Pedal, bool Held) {
  const auto bit = static_cast<std::uint8_t>(1u << Pedal);
  std::uint8_t& held = At(Device, Channel).PedalsHeld;
  held = Held ? (held | bit) : (held & ~bit);
}

bool THeldNotes::PedalHeld(std::int32_t Device, int Channel, int Pedal) const {
  return (At(Device, Channel).PedalsHeld & (1u << Pedal)) != 0;
}

void THeldNotes::SetBent(std::int32_t Device, int Channel, bool Bent) { At(Device, Channel).Bent = Bent; }

bool THeldNotes::Bent(std::int32_t Device, int Channel) const { return At(Device, Channel).Bent; }

bool THeldNotes::HoldsChannel(std::int32_t Device, int Channel) const {
  const TDeviceChannel& held = At(Device, Channel);
  return held.KeysHeld > 0 || held.PedalsHeld != 0;
}

void THeldNotes::ForgetNotes(std::int32_t Device, int Channel) {
  for (int key = 0; key < KeyCount && At(Device, Channel).KeysHeld > 0; ++key) {
    THolders& holders = KeyHolders(Channel, key);
    for (int i = holders.Count - 1; i >= 0; --i)
      if (holders.Devices[i] == Device) RemoveHolder(holders, Channel, i);
  }
}

void THeldNotes::ForgetPedals(std::int32_t Device, int Channel) { At(Device, Channel).PedalsHeld = 0; }

void THeldNotes::ForgetDevice(std::int32_t Device) {
  for (int channel = 0; channel < ChannelCount; ++channel) {
    ForgetNotes(Device, channel);
    At(Device, channel) = {};
  }
}

void THeldNotes::ForgetAll() {
  for (THolders& holders : FKeys) holders.Count = 0;
  for (TDeviceChannel& held : FDevices) held = {};
}

void THeldNotes::RemoveHolder(THolders& Holders, int Channel, int Index) {
  --At(Holders.Devices[Index], Channel).KeysHeld;
  std::copy(Holders.Devices.begin() + Index + 1, Holders.Devices.begin() + Holders.Count,
            Holders.Devices.begin() + Index);
  --Holders.Count;
}
