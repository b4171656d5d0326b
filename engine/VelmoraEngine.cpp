#include "engine/VelmoraEngine.h"

#include <algorithm>

#include "midi/MidiIO.h"
#include "platform/Platform.h"

TVelmoraEngine* GlobalEngine = nullptr;

TVelmoraEngine::TVelmoraEngine() : FRouting(*this, MaxOutputSlots) {
  // The queue's messages and the preset handlers reach the engine through
  // GlobalEngine, so it is published before anything can use it.
  GlobalEngine = this;
  // Sized for every slot at once: a device that arrives later moves nothing.
  FDelays.assign(MaxOutputSlots, 0);
  FDelayTimes.assign(MaxOutputSlots, 0.0);
  FLatestDue.assign(MaxOutputSlots, 0.0);
  FReleaseOnReturn.resize(MaxOutputSlots);
  for (auto& device : FChannelDevices) device.store(NoDevice, std::memory_order_relaxed);

  FPresets = std::make_unique<TPresets>();
  FPresets->OnChange = [this](TPresets& sender) { PresetsChange(sender); };
  FPresets->OnIndexChange = [this](TPresets& sender) { PresetIndexChange(sender); };
  FPresets->OnIndexChanging = [this](TPresets& sender) { PresetIndexChanging(sender); };
  FPresets->OperationGate = [this](TPresets::TOperation operation) { RunOperation(std::move(operation)); };

  FInputs.push_back(MakeInput(""));

  FMessageList = std::make_unique<TMidiOutMessageList>();

  for (std::int32_t i = 0; i < MidiOutDeviceNames.Count(); ++i)
    FSlotOfDevice.push_back(AddSlot(MidiOutDeviceNames[i], i));

  FDeviceNotices = std::make_unique<platform::NoticeWindow>([this](TMessage& message) {
    if (message.Msg == platform::SelfNotice) DeviceWorkNotice();
  });

  FSelfNotices = std::make_unique<platform::NoticeWindow>([this](TMessage& message) {
    if (message.Msg != platform::SelfNotice) return;
    FSelectNoticePosted = false;
    if (FPresetSwitchHolds == 0) SelectAskedPreset();
  });

  FTimer = std::make_unique<TMMTimer>();
  FTimer->SetInterval(static_cast<UINT>(FTimerInterval));
  FTimer->OnTimer = [this](TMMTimer& sender) { TimerTick(sender); };
}

TVelmoraEngine::~TVelmoraEngine() {
  FTimer->SetEnabled(false);
  if (FSettingsLoaded) {
    SavePreset();
    SaveSettings();
  }
  // Each port closes itself as it is freed; closing first keeps the port
  // reachable through the engine while its last state reports run. The
  // extra inputs go first, the main one last.
  for (auto input = FInputs.rbegin(); input != FInputs.rend(); ++input) (*input)->Port->Close();
  FWaitingInputs.clear();
  FSysExOwner = nullptr;
  FInputs.clear();
  const std::int32_t slots = SlotCount();
  for (std::int32_t slot = 0; slot < slots; ++slot) FSlots[slot]->Close();  // whatever the counts
  // Queued messages are dropped unsent, before the devices they count on.
  FMessageList.reset();
  for (auto& device : FSlots) device.reset();
  FTimer.reset();
  FPresets.reset();  // stores the preset names
  if (GlobalEngine == this) GlobalEngine = nullptr;
}

void TVelmoraEngine::RunOperation(TOperationGate::TOperation Operation) { FOperations.Run(std::move(Operation)); }

void TVelmoraEngine::SetMidiInDevice(std::int32_t Index) {
  RunOperation([this, Index] { DoSetMidiInDevice(Index); });
}
void TVelmoraEngine::SetDelay(std::int32_t Device, std::int32_t Milliseconds) {
  RunOperation([this, Device, Milliseconds] { DoSetDelay(Device, Milliseconds); });
}
void TVelmoraEngine::SetChannelDevice(std::uint8_t Channel, std::int32_t Device) {
  RunOperation([this, Channel, Device] { DoSetChannelDevice(Channel, Device); });
}
void TVelmoraEngine::SetTimerInterval(std::int32_t Milliseconds) {
  RunOperation([this, Milliseconds] { DoSetTimerInterval(Milliseconds); });
}
void TVelmoraEngine::SetPresetSwitchChannel(std::int32_t Channel) {
  RunOperation([this, Channel] { DoSetPresetSwitchChannel(Channel); });
}
void TVelmoraEngine::SetSystemMessages(std::int32_t Choice) {
  RunOperation([this, Choice] { DoSetSystemMessages(Choice); });
}
void TVelmoraEngine::Reopen() {
  RunOperation([this] { DoReopen(); });
}
void TVelmoraEngine::Panic() {
  RunOperation([this] { DoPanic(); });
}
void TVelmoraEngine::RefreshDevices() {
  RunOperation([this] { DoRefreshDevices(); });
}
void TVelmoraEngine::RetryLostDevices() {
  RunOperation([this] { DoRetryLostDevices(); });
}
void TVelmoraEngine::Start() {
  RunOperation([this] {
    LoadSettings();
    FSettingsLoaded = true;
    FTimer->SetEnabled(true);
  });
}

void TVelmoraEngine::DoSetMidiInDevice(std::int32_t Index) {
  // Picking the input the program fell back to ends the wait for the stored one.
  const bool waited = !FWaitingInput.empty();
  FWaitingInput.clear();
  if (Index == FMidiInDevice) {
    if (waited) Fire(OnMidiInDeviceChange, Index);
    return;
  }
  FMidiInDevice = Index;
  FMidiInName = Index >= 0 && Index < MidiInDeviceNames.Count() ? MidiInDeviceNames[Index] : "";
  // A device opens once: before the main input opens it, it leaves the extras.
  const bool extrasChanged = TakeFromExtraInputs(Index);
  MidiIn().Open(Index);  // the outcome shows in the port's state reports
  Fire(OnMidiInDeviceChange, Index);
  if (extrasChanged) Fire(OnInputsChange);
}

void TVelmoraEngine::DoSetDelay(std::int32_t Device, std::int32_t Milliseconds) {
  const std::int32_t slot = SlotOf(Device);
  if (slot == NoSlot) return;
  // Only a hand-edited settings file supplies delays outside what a time of
  // day can express; they are clamped, and the clamped value is what is
  // stored, reported and saved.
  Milliseconds = std::clamp(Milliseconds, 0, MaxDelay);
  if (Milliseconds == FDelays[slot]) return;
  SetSlotDelay(slot, Milliseconds);
  Fire(OnDelayChange, Device, Milliseconds);
}

void TVelmoraEngine::SetSlotDelay(std::int32_t Slot, std::int32_t Milliseconds) {
  Milliseconds = std::clamp(Milliseconds, 0, MaxDelay);
  FDelays[Slot] = Milliseconds;
  FDelayTimes[Slot] = MillisecondsToDateTime(static_cast<std::uint32_t>(Milliseconds));
}

void TVelmoraEngine::DoSetChannelDevice(std::uint8_t Channel, std::int32_t Device) {
  if (Channel >= ChannelCount) return;
  // NoDevice is accepted, for a machine without output devices; nothing
  // else outside the catalogue is.
  if (Device < NoDevice || Device >= MidiOutCount()) return;
  const std::int32_t slot = SlotOf(Device);
  if (Device >= 0 && slot == NoSlot) return;
  // The user's pick ends the wait for a stored device.
  MapChannel(Channel, slot, "");
}

void TVelmoraEngine::MapChannel(std::uint8_t Channel, std::int32_t Slot, std::string Waiting) {
  const std::int32_t old = FChannelDevices[Channel].load(std::memory_order_relaxed);
  if (Slot == old && Waiting == FWaitingFor[Channel]) return;
  FWaitingFor[Channel] = std::move(Waiting);
  if (Slot == old) {
    Fire(OnChannelDeviceChange, Channel, DeviceOfSlot(Slot));
    return;
  }
  // The device left behind keeps sounding what it holds until the input
  // releases it there; only a bend would stay bent, so it is centred.
  if (old >= 0 && AnyBent(old, Channel)) {
    for (auto& input : FInputs) input->Held.SetBent(old, Channel, false);
    ScheduleAfterDelay(old, midi::Pack(midi::PitchBendKind | Channel, midi::BendCentreLow, midi::BendCentreHigh),
                       platform::Now());
  }
  // The old device is released before the new one is acquired, so a device
  // that loses its last channel reports its close before the next one opens.
  if (old >= 0) FSlots[old]->Release();
  FChannelDevices[Channel].store(Slot, std::memory_order_relaxed);
  if (Slot >= 0) FSlots[Slot]->AddRef();
  Fire(OnChannelDeviceChange, Channel, DeviceOfSlot(Slot));
}

void TVelmoraEngine::DoSetTimerInterval(std::int32_t Milliseconds) {
  if (Milliseconds == FTimerInterval) return;
  FTimerInterval = Milliseconds;
  // The timer clamps its own copy; the value as set is what is kept and saved.
  FTimer->SetInterval(static_cast<UINT>(Milliseconds));
  Fire(OnTimerIntervalChange, Milliseconds);
}

void TVelmoraEngine::DoReopen() {
  // Opened by the numbers the system gives the devices now.
  DoRefreshDevices();
  FTimer->SetEnabled(false);
  const bool inputInUse = FMidiInDevice >= 0;
  const std::int32_t slots = SlotCount();
  std::vector<bool> used(static_cast<std::size_t>(slots));
  for (std::int32_t i = 0; i < slots; ++i) used[i] = FSlots[i]->RefCount() > 0 && FSlots[i]->Present();
  // The extra inputs close and open with the main one, each on the device
  // its name has now.
  for (std::size_t input = 1; input < FInputs.size(); ++input) FInputs[input]->Port->Close();
  if (inputInUse) MidiIn().Close();
  for (std::int32_t i = 0; i < slots; ++i)
    if (used[i]) FSlots[i]->Close();
  if (inputInUse) MidiIn().Open(FMidiInDevice);
  FollowExtraInputs();
  for (std::int32_t i = 0; i < slots; ++i)
    if (used[i]) FSlots[i]->OpenDevice();
  FTimer->SetEnabled(true);
  ScheduleRetryWhileLost();
}

void TVelmoraEngine::DoSetSystemMessages(std::int32_t Choice) {
  const TSystemMessages choice = TSystemMessageRouter::ChoiceOf(Choice);
  if (choice == FRouting.SystemMessages()) return;
  FRouting.SetSystemMessages(choice);
  Fire(OnSystemMessagesChange, static_cast<std::int32_t>(choice));
}

void TVelmoraEngine::InputData(TInputSource& Input, DWORD Data) {
  // Program Changes on the switching channel are commands, not music, and
  // so is the Bank Select that a foot controller sends before them; a bank
  // does not change which preset a program number selects. Any input may
  // send them.
  if (midi::ChannelOf(Data) == FPresetSwitchChannel) {
    if (midi::KindOf(Data) == midi::ProgramChangeKind) {
      AskForPreset(midi::Data1Of(Data));
      return;
    }
    if (midi::IsBankSelect(Data)) return;
  }
  // Behind its own system-exclusive message that waits for another input's,
  // to keep its order; real-time messages pass, as they may within a message.
  if (!Input.Waiting.empty() && !midi::IsRealTime(Data)) {
    Input.Waiting.push_back({.Short = Data, .Bytes = {}});
    return;
  }
  FRouting.Route(Input.Held, Data);
}

bool TVelmoraEngine::DeviceOpen(std::int32_t Slot) const { return FSlots[Slot]->State() == mpsOpen; }

void TVelmoraEngine::ScheduleAfterDelay(std::int32_t Device, DWORD Data, TDateTime Now) {
  Schedule(Device, Data, Now, Now + FDelayTimes[Device]);
}

void TVelmoraEngine::Schedule(std::int32_t Device, DWORD Data, TDateTime Now, TDateTime Earliest) {
  // Per device, messages leave in the order they arrived: after a delay was
  // lowered, a later message waits for the earlier ones still queued.
  TDateTime& latest = FLatestDue[Device];
  const TDateTime due = std::max(Earliest, latest);
  latest = due;
  TMidiOutputDev& output = *FSlots[Device];
  // Due already, with nothing before it for its device (nothing queued, and
  // nothing a tick has taken but not yet sent): waiting for the next tick
  // would only make it late.
  if (due <= Now && output.NothingWaiting()) {
    output.SendShortScheduled(Data, output.Generation());
    return;
  }
  FMessageList->Post(new TMidiOutShortMessage(Data, Device, due, output.Generation()));
  FTimer->WakeAt(due);
}

void TVelmoraEngine::InputStateChange(TInputSource& Input, TMidiPortState State) {
  if (State == mpsClosed) ReleaseWhatTheInputHeld(Input);
  if (State == mpsLost) ScheduleRetryWhileLost();
  if (&Input == FInputs.front().get()) {
    Fire(OnMidiInStateChange, State);
  } else {
    Fire(OnInputsChange);
  }
}

// No release will come for what the closed input left held: what it held
// back is passed on (another input's message cut short for it), its own
// system-exclusive message cut short is ended, then every note, pedal and
// bend is released where it sounds, at once (after what is already queued
// for that device).
void TVelmoraEngine::ReleaseWhatTheInputHeld(TInputSource& Input) {
  if (!Input.Waiting.empty() && FSysExOwner != nullptr) EndCutSysEx(*FSysExOwner);
  EndCutSysEx(Input);
  FRouting.ReleaseEverything(Input.Held);
}

void TVelmoraEngine::OutputStateChange(std::int32_t Slot, TMidiIOBase&, TMidiPortState State) {
  TMidiOutputDev& port = *FSlots[Slot];
  // The close resets the device: what it held is gone, and what was queued
  // for it before is not sent (the port's generation moves on). A device
  // that is gone took no reset: what it held still sounds.
  if (State == mpsClosing) {
    if (port.DeviceIsGone()) RememberReleases(Slot);
    for (auto& input : FInputs) input->Held.ForgetDevice(Slot);
    FLatestDue[Slot] = 0.0;
  }
  // Back after it went: what it held then is released before anything else.
  if (State == mpsOpen) {
    for (const DWORD release : FReleaseOnReturn[Slot]) port.SendShort(release);
    FReleaseOnReturn[Slot].clear();
  }
  if (State == mpsLost) ScheduleRetryWhileLost();
  Fire(OnMidiOutStateChange, port.DeviceNumber(), State);
}

void TVelmoraEngine::TimerTick(TMMTimer&) {
  if (FDispatching.load(std::memory_order_acquire)) return;
  DispatchDueMessages();
  AskForDueDeviceWork(platform::Now());
}

void TVelmoraEngine::DispatchDueMessages() {
  FDispatching.store(true, std::memory_order_release);
  // The arrivals posted since the last tick are linked in, and the messages
  // due at one reading of Now leave the queue together; they are sent in
  // order after that, each under its own port's send lock only.
  const TDateTime now = platform::Now();
  TMidiOutMessage* message = FMessageList->TakeDue(now);
  while (message != nullptr) {
    TMidiOutMessage* next = message->Next;
    message->Send();
    message->Free();
    message = next;
  }
  if (TMidiOutput::AnySysExUnfinished()) {
    const std::int32_t slots = SlotCount();
    for (std::int32_t slot = 0; slot < slots; ++slot) FSlots[slot]->EndStalledSysEx(now);
  }
  // The next message leaves at its own due time, not at the tick after it;
  // asked after the sends, which the asking would only hold up.
  if (TDateTime next; FMessageList->NextDue(next)) FTimer->WakeAt(next);
  FDispatching.store(false, std::memory_order_release);
}

void TVelmoraEngine::PresetsChange(TPresets& Sender) { Fire(OnPresetsChange, std::ref(Sender)); }

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
  Fire(OnPresetIndexChange, FPresets->ItemIndex());
}
