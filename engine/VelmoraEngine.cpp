#include "engine/VelmoraEngine.h"

#include <algorithm>

#include "midi/MidiIO.h"
#include "platform/Platform.h"

TVelmoraEngine* GlobalEngine = nullptr;

TVelmoraEngine::TVelmoraEngine() {
  // The queue's messages and the preset handlers reach the engine through
  // GlobalEngine, so it is published before anything can use it.
  GlobalEngine = this;
  const std::int32_t deviceCount = std::max(MidiOutDeviceCount, 0);
  FDelays.assign(static_cast<std::size_t>(deviceCount), 0);
  FDelayTimes.assign(static_cast<std::size_t>(deviceCount), 0.0);
  for (auto& device : FChannelDevices) device.store(-1, std::memory_order_relaxed);

  FPresets = std::make_unique<TPresets>();
  FPresets->OnChange = [this](TPresets& sender) { PresetsChange(sender); };
  FPresets->OnIndexChange = [this](TPresets& sender) { PresetIndexChange(sender); };
  FPresets->OnIndexChanging = [this](TPresets& sender) { PresetIndexChanging(sender); };

  FMidiIn = std::make_unique<TMidiInput>();
  FMidiIn->OnData = [this](TMidiInput& sender, DWORD data) { InputData(sender, data); };
  FMidiIn->OnLongData = [this](TMidiInput& sender, const std::uint8_t* data, std::int32_t length) {
    InputLongData(sender, data, length);
  };
  FMidiIn->OnStateChange = [this](TMidiIOBase& sender, TMidiPortState state) {
    InputStateChange(sender, state);
  };

  FMessageList = std::make_unique<TMidiOutMessageList>();

  FMidiOuts.reserve(static_cast<std::size_t>(deviceCount));
  for (std::int32_t i = 0; i < deviceCount; ++i) {
    FMidiOuts.push_back(std::make_unique<TMidiOutputDev>(i));
    FMidiOuts.back()->OnStateChange = [this](TMidiIOBase& sender, TMidiPortState state) {
      OutputStateChange(sender, state);
    };
  }

  FTimer = std::make_unique<TMMTimer>();
  FTimer->SetInterval(static_cast<UINT>(FTimerInterval));
  FTimer->OnTimer = [this](TMMTimer& sender) { TimerTick(sender); };
}

TVelmoraEngine::~TVelmoraEngine() {
  FTimer->SetEnabled(false);
  SavePreset();
  SaveSettings();
  // Each port closes itself as it is freed; closing first keeps the port
  // reachable through the engine while its last state reports run.
  FMidiIn->Close();
  FMidiIn.reset();
  for (auto& device : FMidiOuts) {  // ascending, whatever the counts
    device->Close();
    device.reset();
  }
  FMessageList.reset();  // queued messages are dropped unsent
  FTimer.reset();
  FPresets.reset();  // stores the preset names
  if (GlobalEngine == this) GlobalEngine = nullptr;
}

void TVelmoraEngine::SetMidiInDevice(std::int32_t Index) {
  if (Index == FMidiInDevice) return;
  FMidiInDevice = Index;
  FMidiIn->Open(Index);  // the outcome shows in the port's state reports
  if (OnMidiInDeviceChange) OnMidiInDeviceChange(*this, Index);
}

void TVelmoraEngine::SetDelay(std::int32_t Device, std::int32_t Milliseconds) {
  if (Device < 0 || Device >= MidiOutCount()) return;
  // Only a hand-edited settings file supplies delays outside what a time of
  // day can express; they are clamped, and the clamped value is what is
  // stored, reported and saved.
  Milliseconds = std::clamp(Milliseconds, 0, MaxDelay);
  if (Milliseconds == FDelays[Device]) return;
  FDelays[Device] = Milliseconds;
  FDelayTimes[Device] = MillisecondsToDateTime(static_cast<std::uint32_t>(Milliseconds));
  if (OnDelayChange) OnDelayChange(*this, Device, Milliseconds);
}

void TVelmoraEngine::SetChannelDevice(std::uint8_t Channel, std::int32_t Device) {
  if (Channel > 15) return;
  // -1 (no device) is accepted, for a machine without output devices;
  // nothing else outside the catalogue is.
  if (Device < -1 || Device >= MidiOutCount()) return;
  const std::int32_t old = FChannelDevices[Channel].load(std::memory_order_relaxed);
  if (Device == old) return;
  // The old device is released before the new one is acquired, so a device
  // that loses its last channel reports its close before the next one opens.
  if (old >= 0) FMidiOuts[old]->Release();
  FChannelDevices[Channel].store(Device, std::memory_order_relaxed);
  if (Device >= 0) FMidiOuts[Device]->AddRef();
  if (OnChannelDeviceChange) OnChannelDeviceChange(*this, Channel, Device);
}

void TVelmoraEngine::SetTimerInterval(std::int32_t Milliseconds) {
  if (Milliseconds == FTimerInterval) return;
  FTimerInterval = Milliseconds;
  // The timer clamps its own copy; the value as set is what is kept and saved.
  FTimer->SetInterval(static_cast<UINT>(Milliseconds));
  if (OnTimerIntervalChange) OnTimerIntervalChange(*this, Milliseconds);
}

void TVelmoraEngine::Reopen() {
  FTimer->SetEnabled(false);
  const bool inputInUse = FMidiInDevice >= 0;
  std::vector<bool> used(FMidiOuts.size());
  for (std::size_t i = 0; i < FMidiOuts.size(); ++i) used[i] = FMidiOuts[i]->RefCount() > 0;
  if (inputInUse) FMidiIn->Close();
  for (std::size_t i = 0; i < FMidiOuts.size(); ++i)
    if (used[i]) FMidiOuts[i]->Close();
  if (inputInUse) FMidiIn->Open(FMidiInDevice);
  for (std::size_t i = 0; i < FMidiOuts.size(); ++i)
    if (used[i]) FMidiOuts[i]->OpenDevice();
  FTimer->SetEnabled(true);
}

void TVelmoraEngine::Start() {
  LoadSettings();
  FTimer->SetEnabled(true);
}

void TVelmoraEngine::InputData(TMidiInput&, DWORD Data) {
  // A channel that maps to no device (before the first preset is loaded, or
  // on a machine without output devices) has no delay and no target: the
  // message is dropped at arrival.
  if (FChannelDevices[Data & 0x0F].load(std::memory_order_relaxed) < 0) return;
  FMessageList->Post(new TMidiOutShortMessage(Data));
}

void TVelmoraEngine::InputLongData(TMidiInput&, const std::uint8_t* Data, std::int32_t Length) {
  FMessageList->Post(new TMidiOutLongMessage(Data, Length));
}

void TVelmoraEngine::InputStateChange(TMidiIOBase&, TMidiPortState State) {
  if (OnMidiInStateChange) OnMidiInStateChange(*this, State);
}

void TVelmoraEngine::OutputStateChange(TMidiIOBase& Sender, TMidiPortState State) {
  if (OnMidiOutStateChange) OnMidiOutStateChange(*this, Sender.DeviceIndex(), State);
}

void TVelmoraEngine::TimerTick(TMMTimer&) {
  if (FDispatching.load(std::memory_order_acquire)) return;
  DispatchDueMessages();
}

void TVelmoraEngine::DispatchDueMessages() {
  FDispatching.store(true, std::memory_order_release);
  // The messages due at one reading of Now leave the queue together, under
  // its lock; they are sent in order outside it, so the main thread never
  // waits for a send to insert.
  TMidiOutMessage* message = FMessageList->TakeDue(platform::Now());
  while (message != nullptr) {
    TMidiOutMessage* next = message->Next;
    message->Send();
    message->Free();
    message = next;
  }
  FDispatching.store(false, std::memory_order_release);
}

void TVelmoraEngine::PresetsChange(TPresets& Sender) {
  if (OnPresetsChange) OnPresetsChange(*this, Sender);
}

void TVelmoraEngine::PresetIndexChanging(TPresets&) {
  FUnsavedPreset.clear();
  if (!SavePreset()) FUnsavedPreset = FPresets->CurrentName();
}

void TVelmoraEngine::PresetIndexChange(TPresets&) {
  // When the live map could not be stored and the same preset stays current
  // (selected again, moved, renamed), loading would put the older stored map
  // in its place: the live map is kept instead.
  const bool keepLiveMap = !FUnsavedPreset.empty() && SameText(FUnsavedPreset, FPresets->CurrentName());
  FUnsavedPreset.clear();
  if (!keepLiveMap) LoadPreset();
  if (OnPresetIndexChange) OnPresetIndexChange(*this, FPresets->ItemIndex());
}
