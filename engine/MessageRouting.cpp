#include "engine/MessageRouting.h"

#include "platform/Platform.h"

// A short message's output device is decided when it arrives, from its
// channel's device at that moment, whose delay gives its due time; a channel
// moved later changes where later messages go, not queued ones. Releases
// (Note Off, key pressure, pedals up, the all-off controllers) go where what
// they release was sent, also while the channel maps to no device.
//
// What an input holds is kept apart from every other input: a release ends
// only what its own input began. The same key on one device from two inputs
// is one note on the synth, so the first release there ends it; the other
// input's later release goes there too, harmlessly.
void TMessageRouting::Route(THeldNotes& Held, DWORD Data) {
  const std::uint8_t channel = midi::ChannelOf(Data);
  // NoDevice before the first preset is loaded, or on a machine without
  // output devices: what starts something there is dropped at arrival.
  const std::int32_t current = FTarget.ChannelDevice(channel);
  const TDateTime now = platform::Now();
  const std::uint8_t key = midi::Data1Of(Data);
  switch (midi::KindOf(Data)) {
    case midi::NoteOnKind:
      if (midi::Data2Of(Data) != 0) {
        if (current < 0) return;
        const std::int32_t givenUp = Held.NoteOn(current, channel, key);
        if (givenUp >= 0) FTarget.SendAtOnce(givenUp, midi::Pack(midi::NoteOffKind | channel, key, 0), now);
        FTarget.SendAfterDelay(current, Data, now);
        return;
      }
      [[fallthrough]];  // velocity 0 is a Note Off
    case midi::NoteOffKind:
      SendToHolder(Held.NoteOff(channel, key), current, Data, now);
      return;
    case midi::KeyPressureKind:
      SendToHolder(Held.OldestHolder(channel, key), current, Data, now);
      return;
    case midi::ControlChangeKind:
      RouteController(Held, Data, channel, current, now);
      return;
    case midi::PitchBendKind:
      if (current < 0) return;
      Held.SetBent(current, channel, key != midi::BendCentreLow || midi::Data2Of(Data) != midi::BendCentreHigh);
      FTarget.SendAfterDelay(current, Data, now);
      return;
    default:
      if (TSystemMessageRouter::IsSystemMessage(Data)) {
        RouteSystemMessage(Data, current, now);
        return;
      }
      // Everything else goes to the channel's device.
      if (current >= 0) FTarget.SendAfterDelay(current, Data, now);
      return;
  }
}

void TMessageRouting::SendToHolder(std::int32_t Holder, std::int32_t Current, DWORD Data, TDateTime Now) {
  const std::int32_t device = Holder >= 0 ? Holder : Current;
  if (device >= 0) FTarget.SendAfterDelay(device, Data, Now);
}

void TMessageRouting::RouteController(THeldNotes& Held, DWORD Data, std::uint8_t Channel, std::int32_t Current,
                                      TDateTime Now) {
  const std::uint8_t controller = midi::Data1Of(Data);
  const std::int32_t devices = FTarget.DeviceCount();
  const int pedal = THeldNotes::PedalIndex(controller);
  if (pedal != THeldNotes::NoPedal) {
    // Every device where the pedal is not fully up follows it to 0, value by
    // value: a half-damper pedal left at 63 still holds a piano's notes.
    const bool held = THeldNotes::PedalHeldAt(midi::Data2Of(Data));
    for (std::int32_t device = 0; device < devices; ++device) {
      if (device != Current && !Held.PedalHeld(device, Channel, pedal)) continue;
      FTarget.SendAfterDelay(device, Data, Now);
      Held.SetPedal(device, Channel, pedal, held);
    }
    return;
  }
  const bool endsNotes = controller == midi::AllSoundOff || controller == midi::AllNotesOff;
  const bool resets = controller == midi::ResetAllControllers;
  if (!endsNotes && !resets) {
    if (Current >= 0) FTarget.SendAfterDelay(Current, Data, Now);
    return;
  }
  // Each ends only what it ends on a synth: the all-off controllers the
  // notes (a pedal still down keeps its release coming), the reset the
  // pedals and the bend (its notes still wait for their Note Offs).
  for (std::int32_t device = 0; device < devices; ++device) {
    if (device != Current && !Held.HoldsChannel(device, Channel)) continue;
    FTarget.SendAfterDelay(device, Data, Now);
    if (endsNotes) Held.ForgetNotes(device, Channel);
    if (resets) {
      Held.ForgetPedals(device, Channel);
      Held.SetBent(device, Channel, false);
    }
  }
}

void TMessageRouting::RouteSystemMessage(DWORD Data, std::int32_t Current, TDateTime Now) {
  FSystemMessages.Route(
      Data, Current, FTarget.DeviceCount(), [this](std::int32_t device) { return FTarget.DeviceOpen(device); },
      [&](std::int32_t device) { FTarget.SendAfterDelay(device, Data, Now); });
}

void TMessageRouting::ReleaseEverything(THeldNotes& Held) {
  const TDateTime now = platform::Now();
  Held.ForEachHeld(
      [&](std::int32_t device, int channel, int key) {
        FTarget.SendAtOnce(device, midi::Pack(midi::NoteOffKind | channel, static_cast<std::uint8_t>(key), 0), now);
      },
      [&](std::int32_t device, int channel, std::uint8_t controller) {
        FTarget.SendAtOnce(device, midi::Pack(midi::ControlChangeKind | channel, controller, 0), now);
      },
      [&](std::int32_t device, int channel) {
        FTarget.SendAtOnce(device, midi::Pack(midi::PitchBendKind | channel, midi::BendCentreLow, midi::BendCentreHigh),
                           now);
      });
  Held.ForgetAll();
}
