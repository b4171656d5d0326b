// The inputs the engine listens to besides the main one, merged into the one
// routing: each is opened by name like the main input, follows the
// catalogue and keeps what it holds apart from the others (its
// system-exclusive messages take turns with theirs: EngineSysEx.cpp).
#include <algorithm>

#include "engine/StoredDeviceNames.h"
#include "engine/VelmoraEngine.h"
#include "midi/MidiIO.h"
#include "midi/MidiOutput.h"
#include "platform/Platform.h"

std::unique_ptr<TInputSource> TVelmoraEngine::MakeInput(std::string Name) {
  auto input = std::make_unique<TInputSource>(std::move(Name), MaxOutputSlots);
  TInputSource* source = input.get();  // lives as long as its port and the port's handlers
  TMidiInput& port = *input->Port;
  // Every arrival counts for the input's lamp, commands included.
  port.OnData = [this, source](TMidiInput& sender, DWORD data) {
    sender.Activity().Bump();
    InputData(*source, data);
  };
  port.OnLongData = [this, source](TMidiInput& sender, const std::uint8_t* data, std::int32_t length) {
    sender.Activity().Bump();
    InputLongData(*source, data, length);
  };
  port.OnLongError = [this, source](TMidiInput&) { EndCutSysEx(*source); };
  port.OnStateChange = [this, source](TMidiIOBase&, TMidiPortState state) { InputStateChange(*source, state); };
  return input;
}

// Of two input devices with one name, an extra input is the first, as a
// stored name is everywhere else.
TInputSource* TVelmoraEngine::ExtraInputNamed(const std::string& Name) const {
  for (std::size_t extra = 1; extra < FInputs.size(); ++extra)
    if (NamesDevice(FInputs[extra]->Name, Name)) return FInputs[extra].get();
  return nullptr;
}

bool TVelmoraEngine::InputChecked(std::int32_t Device) const {
  if (Device < 0 || Device >= MidiInDeviceNames.Count()) return false;
  if (Device == FMidiInDevice) return true;
  for (std::size_t extra = 1; extra < FInputs.size(); ++extra)
    if (StoredDevice(MidiInDeviceNames, FInputs[extra]->Name) == Device) return true;
  return false;
}

TMidiInput* TVelmoraEngine::InputPort(std::int32_t Device) {
  if (Device < 0 || Device >= MidiInDeviceNames.Count()) return nullptr;
  if (Device == FMidiInDevice) return &MidiIn();
  for (std::size_t extra = 1; extra < FInputs.size(); ++extra)
    if (StoredDevice(MidiInDeviceNames, FInputs[extra]->Name) == Device) return FInputs[extra]->Port.get();
  return nullptr;
}

std::vector<std::string> TVelmoraEngine::ExtraInputNames() const {
  std::vector<std::string> names;
  for (std::size_t extra = 1; extra < FInputs.size(); ++extra) names.push_back(FInputs[extra]->Name);
  return names;
}

void TVelmoraEngine::SetInputChecked(std::int32_t Device, bool Checked) {
  RunOperation([this, Device, Checked] { DoSetInputChecked(Device, Checked); });
}

void TVelmoraEngine::DoSetInputChecked(std::int32_t Device, bool Checked) {
  if (Device < 0 || Device >= MidiInDeviceNames.Count() || Device == FMidiInDevice) return;
  // A device listed without a name does not answer, and has no name to keep.
  const std::string& name = MidiInDeviceNames[Device];
  if (name.empty()) return;
  TInputSource* extra = ExtraInputNamed(name);
  if (Checked == (extra != nullptr)) return;
  if (Checked) {
    AddExtraInput(name);
  } else {
    RemoveExtraInput(*extra);
  }
  Fire(OnInputsChange);
}

void TVelmoraEngine::AddExtraInput(std::string Name) {
  FInputs.push_back(MakeInput(std::move(Name)));
  TInputSource& input = *FInputs.back();
  const std::int32_t device = StoredDevice(MidiInDeviceNames, input.Name);
  if (device >= 0 && device != FMidiInDevice) input.Port->Open(device);  // the outcome shows in its state
}

void TVelmoraEngine::RemoveExtraInput(TInputSource& Input) {
  Input.Port->Close();  // releases what it held, and what it held back
  std::erase(FWaitingInputs, &Input);
  if (FSysExOwner == &Input) FSysExOwner = nullptr;
  std::erase_if(FInputs, [&](const auto& input) { return input.get() == &Input; });
}

bool TVelmoraEngine::TakeFromExtraInputs(std::int32_t Device) {
  if (Device < 0 || Device >= MidiInDeviceNames.Count()) return false;
  for (std::size_t extra = 1; extra < FInputs.size(); ++extra) {
    if (StoredDevice(MidiInDeviceNames, FInputs[extra]->Name) != Device) continue;
    RemoveExtraInput(*FInputs[extra]);
    return true;
  }
  return false;
}

void TVelmoraEngine::FollowExtraInputs() {
  // The main input may have come to an extra input's device by a number
  // shared with the device it fell back to.
  if (TakeFromExtraInputs(FMidiInDevice)) Fire(OnInputsChange);
  for (std::size_t extra = 1; extra < FInputs.size(); ++extra) {
    TMidiInput& port = *FInputs[extra]->Port;
    const std::int32_t device = StoredDevice(MidiInDeviceNames, FInputs[extra]->Name);
    // An absent input closes, and keeps its name for its return; an open
    // one keeps its handle under whatever number its device has now.
    if (device < 0) {
      if (port.State() != mpsClosed) port.Close();
    } else if (port.State() == mpsClosed) {
      port.Open(device);
    }
  }
}

bool TVelmoraEngine::AnyBent(std::int32_t Device, std::uint8_t Channel) const {
  return std::any_of(FInputs.begin(), FInputs.end(),
                     [&](const auto& input) { return input->Held.Bent(Device, Channel); });
}

