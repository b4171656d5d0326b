#include "engine/HeldNotes.h"

#include <algorithm>

THeldNotes::THeldNotes(std::int32_t DeviceCount)
    : FKeys(static_cast<std::size_t>(ChannelCount) * KeyCount),
      FDevices(static_cast<std::size_t>(std::max(DeviceCount, 0)) * ChannelCount) {}

std::int32_t THeldNotes::NoteOn(std::int32_t Device, int Channel, int Key, int& Evicted) {
  Evicted = 0;
  THolders& holders = KeyHolders(Channel, Key);
  ++At(Device, Channel).Strikes;
  if (holders.Count > 0 && holders.Items[holders.Count - 1].Device == Device) {
    ++holders.Items[holders.Count - 1].Strikes;
    return NoDevice;
  }
  std::int32_t evictedDevice = NoDevice;
  if (holders.Count == HoldersPerKey) {
    // Only a key struck again and again without release while its channel
    // moves between devices gets here; the oldest strikes are ended rather
    // than forgotten, so none of them can hang.
    evictedDevice = holders.Items[0].Device;
    Evicted = holders.Items[0].Strikes;
    At(evictedDevice, Channel).Strikes -= static_cast<std::uint32_t>(Evicted);
    RemoveHolder(holders, 0);
  }
  holders.Items[holders.Count++] = {static_cast<std::int16_t>(Device), 1};
  return evictedDevice;
}

std::int32_t THeldNotes::NoteOff(int Channel, int Key) {
  THolders& holders = KeyHolders(Channel, Key);
  if (holders.Count == 0) return NoDevice;
  THolder& first = holders.Items[0];
  const std::int32_t device = first.Device;
  --At(device, Channel).Strikes;
  if (--first.Strikes == 0) RemoveHolder(holders, 0);
  return device;
}

std::int32_t THeldNotes::OldestHolder(int Channel, int Key) const {
  const THolders& holders = KeyHolders(Channel, Key);
  return holders.Count == 0 ? NoDevice : holders.Items[0].Device;
}

int THeldNotes::PedalIndex(std::uint8_t Controller) {
  const auto found = std::find(PedalControllers.begin(), PedalControllers.end(), Controller);
  return found == PedalControllers.end() ? NoPedal : static_cast<int>(found - PedalControllers.begin());
}

void THeldNotes::SetPedal(std::int32_t Device, int Channel, int Pedal, bool Down) {
  const auto bit = static_cast<std::uint8_t>(1u << Pedal);
  std::uint8_t& down = At(Device, Channel).PedalsDown;
  down = Down ? (down | bit) : (down & ~bit);
}

bool THeldNotes::PedalDown(std::int32_t Device, int Channel, int Pedal) const {
  return (At(Device, Channel).PedalsDown & (1u << Pedal)) != 0;
}

void THeldNotes::SetBent(std::int32_t Device, int Channel, bool Bent) { At(Device, Channel).Bent = Bent; }

bool THeldNotes::Bent(std::int32_t Device, int Channel) const { return At(Device, Channel).Bent; }

bool THeldNotes::HoldsChannel(std::int32_t Device, int Channel) const {
  const TDeviceChannel& held = At(Device, Channel);
  return held.Strikes > 0 || held.PedalsDown != 0;
}

void THeldNotes::ForgetNotes(std::int32_t Device, int Channel) {
  if (At(Device, Channel).Strikes == 0) return;
  At(Device, Channel).Strikes = 0;
  for (int key = 0; key < KeyCount; ++key) {
    THolders& holders = KeyHolders(Channel, key);
    for (int i = holders.Count - 1; i >= 0; --i)
      if (holders.Items[i].Device == Device) RemoveHolder(holders, i);
  }
}

void THeldNotes::ForgetPedals(std::int32_t Device, int Channel) { At(Device, Channel).PedalsDown = 0; }

void THeldNotes::ForgetDevice(std::int32_t Device) {
  for (int channel = 0; channel < ChannelCount; ++channel) {
    ForgetNotes(Device, channel);
    At(Device, channel) = {};
  }
}

void THeldNotes::ForgetNotesAndPedals() {
  for (THolders& holders : FKeys) holders.Count = 0;
  for (TDeviceChannel& held : FDevices) {
    held.Strikes = 0;
    held.PedalsDown = 0;
  }
}

void THeldNotes::RemoveHolder(THolders& Holders, int Index) {
  std::copy(Holders.Items.begin() + Index + 1, Holders.Items.begin() + Holders.Count,
            Holders.Items.begin() + Index);
  --Holders.Count;
}
