// The engine's devices as the machine changes under it: the catalogue read
// again after the system reports a change (and at Reopen), devices matched
// to their slots by name, channels and the input moved to the devices their
// stored routing names, and devices that stopped answering opened again.
#include <algorithm>

#include "engine/StoredDeviceNames.h"
#include "engine/VelmoraEngine.h"
#include "midi/MidiIO.h"
#include "platform/Platform.h"

std::int32_t TVelmoraEngine::AddSlot(std::string Name, std::int32_t Device) {
  const std::int32_t slot = SlotCount();
  if (slot == MaxOutputSlots) return NoSlot;
  FSlots[slot] = std::make_unique<TMidiOutputDev>(Device, std::move(Name));
  FSlots[slot]->OnStateChange = [this, slot](TMidiIOBase& sender, TMidiPortState state) {
    OutputStateChange(slot, sender, state);
  };
  FSlotCount.store(slot + 1, std::memory_order_release);  // published once it is whole
  return slot;
}

void TVelmoraEngine::DeviceChangeNotice() {
  // The first notice sets the moment; those that follow within it are part
  // of the same change (Windows sends several for one device).
  TDateTime none = 0.0;
  FDeviceChangeDue.compare_exchange_strong(none, platform::Now() +
                                                     MillisecondsToDateTime(DeviceChangeSettleMilliseconds));
}

void TVelmoraEngine::ScheduleRetryWhileLost() {
  bool lost = false;
  for (const auto& input : FInputs) lost |= input->Port->State() == mpsLost;
  for (std::int32_t slot = 0; slot < SlotCount(); ++slot) lost |= FSlots[slot]->State() == mpsLost;
  if (!lost) return;
  TDateTime none = 0.0;
  FRetryDue.compare_exchange_strong(none, platform::Now() + MillisecondsToDateTime(LostRetryMilliseconds));
}

void TVelmoraEngine::AskForDueDeviceWork(TDateTime Now) {
  // Two loads per tick while nothing is due: the MIDI path pays no more.
  const auto takeDue = [Now](std::atomic<TDateTime>& due) {
    TDateTime at = due.load(std::memory_order_acquire);
    return at != 0.0 && at <= Now && due.compare_exchange_strong(at, 0.0);
  };
  bool asked = false;
  if (takeDue(FDeviceChangeDue)) asked = !FRefreshAsked.exchange(true);
  if (takeDue(FRetryDue)) asked = !FRetryAsked.exchange(true) || asked;
  if (takeDue(FSysExCutDue)) asked = !FSysExCutAsked.exchange(true) || asked;
  if (asked) FDeviceNotices->PostSelfNotice();
}

void TVelmoraEngine::DeviceWorkNotice() {
  if (FSysExCutAsked.exchange(false)) CutStalledSysEx();
  // A reading of the catalogue retries the lost devices too.
  if (FRefreshAsked.exchange(false)) {
    FRetryAsked.store(false);
    RefreshDevices();
  } else if (FRetryAsked.exchange(false)) {
    RetryLostDevices();
  }
}

void TVelmoraEngine::DoRefreshDevices() {
  BuildDeviceCatalogue();
  std::vector<std::int32_t> left;
  std::vector<std::int32_t> arrived;
  MatchSlots(left, arrived);

  // A device that left is closed (what was queued for it goes with the
  // close) and its channels fall back, keeping the name they wait for.
  for (const std::int32_t slot : left) {
    TMidiOutputDev& port = *FSlots[slot];
    port.MarkGone();
    for (std::uint8_t channel = 0; channel < ChannelCount; ++channel) {
      if (ChannelSlot(channel) != slot) continue;
      std::string waiting = FWaitingFor[channel].empty() ? port.Name() : FWaitingFor[channel];
      MapChannel(channel, FallbackSlot(), std::move(waiting));
    }
    if (port.State() != mpsClosed) port.Close();
  }
  // A device back with notes it held when it went is opened for them, also
  // when no channel goes there any more; they are released as it opens.
  std::vector<std::int32_t> opened;
  for (const std::int32_t slot : arrived) {
    if (FReleaseOnReturn[slot].empty()) continue;
    FSlots[slot]->AddRef();
    opened.push_back(slot);
  }
  // Channels move to the device they wait for, by the first-match rule.
  for (std::uint8_t channel = 0; channel < ChannelCount; ++channel) {
    if (FWaitingFor[channel].empty()) continue;
    const std::int32_t device = StoredDevice(MidiOutDeviceNames, FWaitingFor[channel]);
    const std::int32_t slot = SlotOf(device);
    if (slot != NoSlot) MapChannel(channel, slot, "");
  }
  for (const std::int32_t slot : opened) FSlots[slot]->Release();

  FollowInput();
  FollowExtraInputs();
  DoRetryLostDevices();
  Fire(OnDevicesChange);
}

void TVelmoraEngine::MatchSlots(std::vector<std::int32_t>& Left, std::vector<std::int32_t>& Arrived) {
  // The n-th device of a name takes the n-th slot of that name, so of two
  // devices with one name the first keeps the first's settings. A device
  // listed without a name (its capabilities unreadable: it does not answer)
  // keeps the slot that had its number, and so its channels.
  const std::int32_t devices = MidiOutDeviceNames.Count();
  std::vector<bool> taken(static_cast<std::size_t>(SlotCount()), false);
  FSlotOfDevice.assign(static_cast<std::size_t>(devices), NoSlot);
  const auto take = [&](std::int32_t device, const auto& fits) {
    for (std::int32_t slot = 0; slot < SlotCount(); ++slot) {
      if (taken[slot] || !fits(*FSlots[slot])) continue;
      taken[slot] = true;
      FSlotOfDevice[device] = slot;
      return;
    }
  };
  for (std::int32_t device = 0; device < devices; ++device) {
    const std::string& name = MidiOutDeviceNames[device];
    if (!name.empty()) take(device, [&](const TMidiOutputDev& port) { return NamesDevice(port.Name(), name); });
  }
  for (std::int32_t device = 0; device < devices; ++device) {
    if (!MidiOutDeviceNames[device].empty()) continue;
    take(device, [device](const TMidiOutputDev& port) { return port.DeviceNumber() == device; });
    if (FSlotOfDevice[device] == NoSlot) take(device, [](const TMidiOutputDev& port) { return port.Name().empty(); });
  }
  for (std::int32_t device = 0; device < devices; ++device) {
    if (FSlotOfDevice[device] != NoSlot) continue;
    FSlotOfDevice[device] = AddSlot(MidiOutDeviceNames[device], NoDevice);
    taken.push_back(true);
  }
  std::vector<std::int32_t> numbers(static_cast<std::size_t>(SlotCount()), NoDevice);
  for (std::int32_t device = 0; device < MidiOutCount(); ++device)
    if (FSlotOfDevice[device] != NoSlot) numbers[FSlotOfDevice[device]] = device;
  for (std::int32_t slot = 0; slot < SlotCount(); ++slot) {
    TMidiOutputDev& port = *FSlots[slot];
    if (port.Present() && numbers[slot] == NoDevice) Left.push_back(slot);
    if (!port.Present() && numbers[slot] != NoDevice) Arrived.push_back(slot);
    // An open port keeps its handle: the system's handle follows the device,
    // whatever number it has now.
    port.SetDeviceNumber(numbers[slot]);
  }
}

void TVelmoraEngine::FollowInput() {
  // The stored input has arrived: back to it.
  if (!FWaitingInput.empty()) {
    const std::int32_t stored = StoredDevice(MidiInDeviceNames, FWaitingInput);
    if (stored >= 0 && stored != FMidiInDevice) {
      DoSetMidiInDevice(stored);
      return;
    }
    if (stored >= 0) {
      // It has the number of the one it fell back to.
      FWaitingInput.clear();
      FMidiInName = MidiInDeviceNames[stored];
      if (MidiIn().State() != mpsOpen) MidiIn().Open(stored);
      Fire(OnMidiInDeviceChange, stored);
      return;
    }
  }
  const std::int32_t now = FMidiInName.empty() ? NoDevice : MidiInDeviceNames.IndexOf(FMidiInName);
  if (now >= 0) {
    // Still there, perhaps under another number; its open handle stays good.
    if (now == FMidiInDevice) return;
    FMidiInDevice = now;
    Fire(OnMidiInDeviceChange, now);
    return;
  }
  if (FMidiInDevice < 0 && FMidiInName.empty()) return;  // none was chosen
  // Listed without a name: there, but not answering; it is retried as it is.
  if (FMidiInDevice >= 0 && FMidiInDevice < MidiInDeviceNames.Count() && MidiInDeviceNames[FMidiInDevice].empty())
    return;
  // The input in use left: it falls back to input 0 and waits for this one.
  std::string waiting = FWaitingInput.empty() ? FMidiInName : FWaitingInput;
  MidiIn().Close();
  FMidiInDevice = NoDevice;
  DoSetMidiInDevice(MidiInDeviceNames.Count() > 0 ? 0 : NoDevice);
  FWaitingInput = std::move(waiting);
  Fire(OnMidiInDeviceChange, FMidiInDevice);
}

void TVelmoraEngine::DoRetryLostDevices() {
  // Only a device the system lists again under its name is opened: an open
  // of a device that does not answer can take long, and it runs on the
  // thread that routes the input.
  for (std::int32_t slot = 0; slot < SlotCount(); ++slot) {
    TMidiOutputDev& port = *FSlots[slot];
    if (port.State() != mpsLost || port.RefCount() == 0 || !port.Present()) continue;
    const auto listed = ReadOutputDeviceName(port.DeviceNumber());
    if (listed && SameText(*listed, port.Name())) port.OpenDevice();
  }
  if (MidiIn().State() == mpsLost) {
    const auto listed = ReadInputDeviceName(FMidiInDevice);
    if (listed && SameText(*listed, FMidiInName)) MidiIn().Open(FMidiInDevice);
  }
  for (std::size_t extra = 1; extra < FInputs.size(); ++extra) {
    TInputSource& input = *FInputs[extra];
    if (input.Port->State() != mpsLost) continue;
    const std::int32_t device = StoredDevice(MidiInDeviceNames, input.Name);
    const auto listed = ReadInputDeviceName(device);
    if (listed && SameText(*listed, input.Name)) input.Port->Open(device);
  }
  ScheduleRetryWhileLost();
}

void TVelmoraEngine::RememberReleases(std::int32_t Slot) {
  std::vector<DWORD>& releases = FReleaseOnReturn[Slot];
  for (const auto& input : FInputs)
    input->Held.ForEachHeld(
      [&](std::int32_t device, int channel, int key) {
        if (device == Slot)
          releases.push_back(midi::Pack(midi::NoteOffKind | channel, static_cast<std::uint8_t>(key), 0));
      },
      [&](std::int32_t device, int channel, std::uint8_t controller) {
        if (device == Slot) releases.push_back(midi::Pack(midi::ControlChangeKind | channel, controller, 0));
      },
      [&](std::int32_t device, int channel) {
        if (device == Slot)
          releases.push_back(midi::Pack(midi::PitchBendKind | channel, midi::BendCentreLow, midi::BendCentreHigh));
      });
}
