// The controls a player reaches for on stage: Panic, and presets selected by
// Program Change on a chosen channel.
#include "engine/VelmoraEngine.h"
#include "platform/Platform.h"

void TVelmoraEngine::DoSetPresetSwitchChannel(std::int32_t Channel) {
  if (Channel < 0 || Channel >= ChannelCount) Channel = PresetSwitchOff;
  if (Channel == FPresetSwitchChannel) return;
  FPresetSwitchChannel = Channel;
  Fire(OnPresetSwitchChannelChange, Channel);
}

void TVelmoraEngine::DoPanic() {
  // The ports' generations move on first, so nothing queued before, nor
  // anything a tick has taken and not yet sent, reaches a device after.
  FPanics.fetch_add(1, std::memory_order_acq_rel);
  const std::int32_t slots = SlotCount();
  for (std::int32_t i = 0; i < slots; ++i) {
    FSlots[i]->Forget();
    FLatestDue[i] = 0.0;
  }
  // A synth in the middle of a dump would read what follows as its data.
  for (std::int32_t i = 0; i < slots; ++i) FSlots[i]->EndUnfinishedSysEx();
  // Note Offs first, for synths that ignore the all-off controllers.
  for (const auto& input : FInputs)
    input->Held.ForEachHeld(
        [&](std::int32_t device, int channel, int key) {
          FSlots[device]->SendShort(midi::Pack(midi::NoteOffKind | channel, static_cast<std::uint8_t>(key), 0));
        },
        [](std::int32_t, int, std::uint8_t) {}, [](std::int32_t, int) {});
  constexpr std::uint8_t SustainPedal = THeldNotes::PedalControllers[0];
  for (std::int32_t i = 0; i < slots; ++i) {
    TMidiOutputDev* output = FSlots[i].get();
    if (output->State() != mpsOpen) continue;
    for (std::uint8_t channel = 0; channel < ChannelCount; ++channel) {
      const std::uint8_t status = midi::ControlChangeKind | channel;
      output->SendShort(midi::Pack(status, SustainPedal, 0));
      output->SendShort(midi::Pack(status, midi::AllSoundOff, 0));
      output->SendShort(midi::Pack(status, midi::ResetAllControllers, 0));
      output->SendShort(midi::Pack(status, midi::AllNotesOff, 0));
    }
  }
  for (const auto& input : FInputs)
    for (std::int32_t slot = 0; slot < slots; ++slot) input->Held.ForgetDevice(slot);
}

void TVelmoraEngine::HoldPresetSwitches(bool Hold) {
  FPresetSwitchHolds += Hold ? 1 : -1;
  if (FPresetSwitchHolds == 0) SelectAskedPreset();
}

void TVelmoraEngine::AskForPreset(std::int32_t Index) {
  // A burst selects only the last: one notice, and the latest index.
  FAskedPreset = Index;
  if (FSelectNoticePosted) return;
  FSelectNoticePosted = true;
  FSelfNotices->PostSelfNotice();
}

void TVelmoraEngine::SelectAskedPreset() {
  const std::int32_t index = FAskedPreset;
  FAskedPreset = PresetSwitchOff;
  // A number beyond the last preset selects nothing.
  if (index < 0 || index >= FPresets->Count()) return;
  FPresets->SetItemIndex(index);
}
