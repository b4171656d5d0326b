// The routing core: the channel map, the per-device delays, the input ports,
// one shared output device per catalogue device, the queue of scheduled
// messages, the timer that serves it and the preset list. Where each message
// goes is TMessageRouting's decision, asked per message; which operation runs
// when is TOperationGate's. The windows change the engine only through the
// setters, Reopen and the preset list, read it through the properties and
// follow it through the events below.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/HeldNotes.h"
#include "engine/InputSource.h"
#include "midi/MidiMessages.h"
#include "engine/MidiOutMessageList.h"
#include "engine/MidiOutputDev.h"
#include "engine/OperationGate.h"
#include "engine/Presets.h"
#include "engine/MessageRouting.h"
#include "engine/SystemMessageRouter.h"
#include "midi/MMTimer.h"
#include "midi/MidiInput.h"
#include "platform/DateTime.h"
#include "platform/NoticeWindow.h"

class TVelmoraEngine;
extern TVelmoraEngine* GlobalEngine;

// The engine's events as one record, so a listener is hooked and unhooked
// by one assignment each (main thread only).
struct TEngineEvents {
  using TIndexEvent = std::function<void(TVelmoraEngine& Sender, std::int32_t Index)>;
  using TStateEvent = std::function<void(TVelmoraEngine& Sender, TMidiPortState State)>;
  using TDelayEvent =
      std::function<void(TVelmoraEngine& Sender, std::int32_t Device, std::int32_t Milliseconds)>;
  using TChannelDeviceEvent =
      std::function<void(TVelmoraEngine& Sender, std::uint8_t Channel, std::int32_t Device)>;
  using TDeviceStateEvent =
      std::function<void(TVelmoraEngine& Sender, std::int32_t Device, TMidiPortState State)>;
  using TPresetsEvent = std::function<void(TVelmoraEngine& Sender, TPresets& Presets)>;
  using TMillisecondsEvent =
      std::function<void(TVelmoraEngine& Sender, std::int32_t Milliseconds)>;
  using TNotifyEvent = std::function<void(TVelmoraEngine& Sender)>;

  TIndexEvent OnMidiInDeviceChange;
  TStateEvent OnMidiInStateChange;
  TDelayEvent OnDelayChange;
  TChannelDeviceEvent OnChannelDeviceChange;
  TDeviceStateEvent OnMidiOutStateChange;
  TIndexEvent OnPresetIndexChange;
  TPresetsEvent OnPresetsChange;
  TMillisecondsEvent OnTimerIntervalChange;
  TIndexEvent OnPresetSwitchChannelChange;
  TIndexEvent OnSystemMessagesChange;  // Index: the new TSystemMessages
  // The device catalogue was read again: device numbers, the input's, the
  // channels' and what they wait for may all have changed.
  TNotifyEvent OnDevicesChange;
  // An extra input was checked or unchecked, or one of them changed state.
  TNotifyEvent OnInputsChange;
};

class TVelmoraEngine final : public TEngineEvents, private TRouteTarget {
 public:
  static constexpr std::int32_t MaxDelay = 59999;  // the largest delay a time of day can hold
  static constexpr std::int32_t PresetSwitchOff = -1;
  // Output devices known in one run, present or not: one slot per device
  // name (per device, for devices of the same name), made when the name is
  // first seen and kept to the end, so the timer thread never sees the list
  // move. Devices beyond it are listed but cannot be routed to.
  static constexpr std::int32_t MaxOutputSlots = 256;
  static constexpr std::int32_t NoSlot = -1;
  // Device-change notices closer together than this are one change.
  static constexpr double DeviceChangeSettleMilliseconds = 500;
  // How often a device that stopped answering is tried again.
  static constexpr double LostRetryMilliseconds = 2000;
  // What one input may hold back while another input's system-exclusive
  // message goes out: beyond it (or once that message has stalled for
  // TMidiOutput::StalledSysExMilliseconds) the other message is cut short.
  static constexpr std::size_t MaxWaitingSysExBytes = 64 * 1024;

  TVelmoraEngine();   // sized by MidiOutDeviceCount; opens nothing
  ~TVelmoraEngine();  // stops the timer, saves, closes and frees everything
  TVelmoraEngine(const TVelmoraEngine&) = delete;
  TVelmoraEngine& operator=(const TVelmoraEngine&) = delete;

  // Properties. Indices are not range-checked: channels 0..15, devices
  // 0..MidiOutCount()-1 (positions in the catalogue as it is now).
  std::int32_t MidiInDevice() const { return FMidiInDevice; }
  // A device beyond the slots (more names in one run than MaxOutputSlots)
  // reads as closed with no delay.
  std::int32_t Delays(std::int32_t Device) const { return SlotOf(Device) == NoSlot ? 0 : FDelays[SlotOf(Device)]; }
  TDateTime DelayTimes(std::int32_t Device) const {
    return SlotOf(Device) == NoSlot ? 0.0 : FDelayTimes[SlotOf(Device)];
  }
  std::int32_t ChannelDevices(std::uint8_t Channel) const { return DeviceOfSlot(ChannelSlot(Channel)); }
  TMidiPortState MidiOutStates(std::int32_t Device) const {
    return SlotOf(Device) == NoSlot ? mpsClosed : FSlots[SlotOf(Device)]->State();
  }
  // The name of the absent device a channel's stored routing names, which
  // it will move to when it arrives; empty while the channel plays where it
  // is meant to. The same for the input.
  const std::string& WaitingFor(std::uint8_t Channel) const { return FWaitingFor[Channel]; }
  const std::string& WaitingInput() const { return FWaitingInput; }
  std::int32_t TimerInterval() const { return FTimerInterval; }
  TPresets& Presets() { return *FPresets; }
  TMidiInput& MidiIn() { return *FInputs.front()->Port; }
  // Extra inputs: every input device but the main one may be checked, and
  // is then opened and routed like it. Devices are catalogue positions now.
  bool InputChecked(std::int32_t Device) const;
  // The port listening to the device (main or extra), or none.
  TMidiInput* InputPort(std::int32_t Device);
  // The names of the checked extra inputs, present or not, in the order
  // they were checked.
  std::vector<std::string> ExtraInputNames() const;
  TMidiOutMessageList& MessageList() { return *FMessageList; }
  TMidiOutputDev& MidiOuts(std::int32_t Device) { return *FSlots[SlotOf(Device)]; }
  std::int32_t MidiOutCount() const { return static_cast<std::int32_t>(FSlotOfDevice.size()); }
  // The devices by slot, for the queue's messages (any thread): slots below
  // SlotCount() exist until the engine goes.
  std::int32_t SlotCount() const { return FSlotCount.load(std::memory_order_acquire); }
  TMidiOutputDev& OutputSlot(std::int32_t Slot) { return *FSlots[Slot]; }
  std::int32_t ChannelSlot(std::uint8_t Channel) const {
    return FChannelDevices[Channel].load(std::memory_order_relaxed);
  }
  TDateTime SlotDelayTime(std::int32_t Slot) const { return FDelayTimes[Slot]; }
  TMMTimer& Timer() { return *FTimer; }
  // The channel whose Program Changes select presets, or PresetSwitchOff.
  std::int32_t PresetSwitchChannel() const { return FPresetSwitchChannel; }
  // Counts the panics; read by the timer thread as it sends.
  std::uint32_t Panics() const { return FPanics.load(std::memory_order_acquire); }
  // Where system messages (F1 to FF) go.
  TSystemMessages SystemMessages() const { return FRouting.SystemMessages(); }

  // Setters, main thread: equal value does nothing; otherwise store, act,
  // fire the event last. These, Reopen, Start and every change of the
  // preset list are operations: one asked for while another runs (from an
  // event handler, or anything such a handler lets in) is not run inside it
  // but after it has ended, in the order asked; none is lost or refused.
  void SetMidiInDevice(std::int32_t Index);
  void SetDelay(std::int32_t Device, std::int32_t Milliseconds);
  void SetChannelDevice(std::uint8_t Channel, std::int32_t Device);
  void SetTimerInterval(std::int32_t Milliseconds);
  // A channel outside 0..15 turns the switching off.
  void SetPresetSwitchChannel(std::int32_t Channel);
  // A value that is none of the choices is taken as smByChannel.
  void SetSystemMessages(std::int32_t Choice);
  // Checks or unchecks an extra input; the main input is not changed here.
  void SetInputChecked(std::int32_t Device, bool Checked);

  // Reads the catalogue again first.
  void Reopen();
  // The system reported a device change (any thread): the catalogue is
  // read again once no further notice has come for a moment.
  void DeviceChangeNotice();
  // Reads the catalogue again and follows it: devices are matched by name,
  // channels and the input move to the devices they wait for, a device that
  // left is closed and its channels fall back to device 0.
  void RefreshDevices();
  // Opens again every device in use that stopped answering, once the system
  // lists it again under its name (a cheap look, not an open that may block).
  void RetryLostDevices();
  // Drops everything queued and silences every open device: Note Offs for
  // the notes it holds, then on every channel sustain up, All Sound Off,
  // Reset All Controllers and All Notes Off. Routing stays as it is.
  void Panic();
  // While held (a modal dialog is open), presets asked for by Program Change
  // wait; the last one asked for is selected when the hold ends.
  void HoldPresetSwitches(bool Hold);
  void Start();  // LoadSettings, then the timer runs


  // Timer thread (through TimerTick); public for tests that drive it directly.
  void DispatchDueMessages();

  // All twelve events at once: assigning a record replaces every handler.
  TEngineEvents& Events() { return *this; }

  // Persistence.
  void LoadSettings();
  void SaveSettings();
  void LoadPreset();
  bool SavePreset();  // false when the map was not kept (it was read while the file could not be)

 private:
  // Makes an input and hooks its port to the handlers below.
  std::unique_ptr<TInputSource> MakeInput(std::string Name);
  void InputData(TInputSource& Input, DWORD Data);
  void InputLongData(TInputSource& Input, const std::uint8_t* Data, std::int32_t Length);
  void InputStateChange(TInputSource& Input, TMidiPortState State);
  void OutputStateChange(std::int32_t Slot, TMidiIOBase& Sender, TMidiPortState State);
  void TimerTick(TMMTimer& Sender);
  // Timer thread: asks the main thread for a catalogue reading or a retry
  // that has come due.
  void AskForDueDeviceWork(TDateTime Now);
  void DeviceWorkNotice();
  void PresetsChange(TPresets& Sender);
  void PresetIndexChanging(TPresets& Sender);
  void PresetIndexChange(TPresets& Sender);

  void RunOperation(TOperationGate::TOperation Operation);
  template <class Event, class... Args>
  void Fire(const Event& Handler, Args... Arguments);

  void DoSetMidiInDevice(std::int32_t Index);
  void DoSetDelay(std::int32_t Device, std::int32_t Milliseconds);
  void DoSetChannelDevice(std::uint8_t Channel, std::int32_t Device);
  void DoRefreshDevices();
  void DoRetryLostDevices();
  void ScheduleRetryWhileLost();

  std::int32_t SlotOf(std::int32_t Device) const {
    return Device >= 0 && Device < MidiOutCount() ? FSlotOfDevice[Device] : NoSlot;
  }
  std::int32_t DeviceOfSlot(std::int32_t Slot) const { return Slot >= 0 ? FSlots[Slot]->DeviceNumber() : NoDevice; }
  std::int32_t AddSlot(std::string Name, std::int32_t Device);  // NoSlot when full
  std::int32_t FallbackSlot() const { return SlotOf(0); }
  // Routes the channel to Slot; Waiting is the absent device its stored
  // routing names (empty: none). Fires OnChannelDeviceChange when either changes.
  void MapChannel(std::uint8_t Channel, std::int32_t Slot, std::string Waiting);
  void SetSlotDelay(std::int32_t Slot, std::int32_t Milliseconds);
  // Matches the catalogue just read to the slots by name and gives each
  // slot its number; returns the slots that left and those that arrived.
  void MatchSlots(std::vector<std::int32_t>& Left, std::vector<std::int32_t>& Arrived);
  void FollowInput();
  // What a device that is going held, to be released there when it is back.
  void RememberReleases(std::int32_t Slot);
  void DoSetTimerInterval(std::int32_t Milliseconds);
  void DoReopen();
  void DoSetPresetSwitchChannel(std::int32_t Channel);
  void DoSetSystemMessages(std::int32_t Choice);
  void DoSetInputChecked(std::int32_t Device, bool Checked);
  TInputSource* ExtraInputNamed(const std::string& Name) const;
  // Adds an extra input and opens it when its device is listed.
  void AddExtraInput(std::string Name);
  // Closes the extra input (releasing what it held) and drops it.
  void RemoveExtraInput(TInputSource& Input);
  // The device just chosen as the main input leaves the extra ones.
  bool TakeFromExtraInputs(std::int32_t Device);
  // Opens the extra inputs whose devices are listed, closes those that left.
  void FollowExtraInputs();
  void DoPanic();
  void AskForPreset(std::int32_t Index);
  void SelectAskedPreset();

  // How the routing reaches the channel map and the queue; devices are slots.
  std::int32_t ChannelDevice(std::uint8_t Channel) const override { return ChannelSlot(Channel); }
  std::int32_t DeviceCount() const override { return SlotCount(); }
  bool DeviceOpen(std::int32_t Slot) const override;
  void SendAfterDelay(std::int32_t Slot, DWORD Data, TDateTime Now) override { ScheduleAfterDelay(Slot, Data, Now); }
  void SendAtOnce(std::int32_t Slot, DWORD Data, TDateTime Now) override { Schedule(Slot, Data, Now, Now); }
  // Queues Data for Device, due at Earliest or, to keep the device's order
  // of arrival, at the latest due time already queued for it.
  void Schedule(std::int32_t Device, DWORD Data, TDateTime Now, TDateTime Earliest);
  void ScheduleAfterDelay(std::int32_t Device, DWORD Data, TDateTime Now);
  // Sends the block Make makes at once, or queues it behind what waits.
  template <class Maker>
  void SendOrQueueLong(Maker Make);
  void ReleaseWhatTheInputHeld(TInputSource& Input);
  // Ends the input's system-exclusive message on the devices that took its
  // start, when its end will not come (the input closed, sent a broken one,
  // or stalled while another input waits), then lets the waiting go on.
  void EndCutSysEx(TInputSource& Input);
  // Sends a block of the input's, which the owner of the message going out
  // (if any) allows.
  void PassLong(TInputSource& Input, const std::uint8_t* Data, std::int32_t Length);
  // Passes on what the inputs held back while no message goes out.
  void PassWaiting();
  // Asks the tick for a cut when the owner's message stalls while others wait.
  void ArmSysExCut();
  void CutStalledSysEx();
  // Any input's held-notes record says Device has Channel bent.
  bool AnyBent(std::int32_t Device, std::uint8_t Channel) const;

  // Set by the tick that runs a dispatch; a tick that finds it set returns.
  std::atomic<bool> FDispatching{false};
  std::int32_t FMidiInDevice = NoDevice;         // main thread only
  std::vector<std::int32_t> FDelays;        // main thread only; by slot
  // Channel map, by slot: written on the main thread, read by any thread
  // (each entry a whole value; relaxed is enough).
  std::array<std::atomic<std::int32_t>, ChannelCount> FChannelDevices;
  std::vector<TDateTime> FDelayTimes;       // main thread only; by slot
  std::int32_t FTimerInterval = 4;          // main thread only
  // The preset whose live map could not be stored when the current index was
  // about to change; empty when the last save went through. Main thread only.
  std::string FUnsavedPreset;
  // Set once Start has loaded the settings: an engine destroyed before that
  // holds only its initial values and must not store them over the file's.
  // Main thread only.
  bool FSettingsLoaded = false;

  TOperationGate FOperations;  // main thread only

  // Main thread only: the latest due time queued per device.
  std::vector<TDateTime> FLatestDue;

  // Presets selected by Program Change (main thread only): the channel, the
  // index last asked for (PresetSwitchOff when none waits), whether the
  // notice that selects it is on its way, and the holds of modal dialogs.
  std::int32_t FPresetSwitchChannel = PresetSwitchOff;
  std::int32_t FAskedPreset = PresetSwitchOff;
  bool FSelectNoticePosted = false;
  int FPresetSwitchHolds = 0;
  std::atomic<std::uint32_t> FPanics{0};  // written on the main thread
  TMessageRouting FRouting;               // main thread only
  // Posts to itself so a preset asked for in an input notice is selected
  // after that notice, never inside it.
  std::unique_ptr<platform::NoticeWindow> FSelfNotices;

  std::unique_ptr<TPresets> FPresets;
  // The main input first, then the extra ones in the order they were
  // checked; made and freed on the main thread (main thread only).
  std::vector<std::unique_ptr<TInputSource>> FInputs;
  // The input whose system-exclusive message is going out (its last block
  // did not end it), and the inputs holding messages back until it ends, in
  // the order they began. Main thread only.
  TInputSource* FSysExOwner = nullptr;
  TDateTime FSysExOwnerLastBlock = 0.0;
  std::deque<TInputSource*> FWaitingInputs;
  // When a stalled message of the owner is cut for those waiting (0: none
  // waits). Set on the main thread, taken by the tick.
  std::atomic<TDateTime> FSysExCutDue{0.0};
  std::atomic<bool> FSysExCutAsked{false};  // set by the tick, taken by the main thread
  // Main thread only: the slot of each catalogue position, the stored names
  // the channels and the input wait for, the name of the input in use, and
  // what each device held when it went.
  std::vector<std::int32_t> FSlotOfDevice;
  std::array<std::string, ChannelCount> FWaitingFor;
  std::string FWaitingInput;
  std::string FMidiInName;
  std::vector<std::vector<DWORD>> FReleaseOnReturn;
  // When the main thread is next asked to read the catalogue, or to retry
  // the lost devices (0: not asked). Set on any thread, taken by the tick.
  std::atomic<TDateTime> FDeviceChangeDue{0.0};
  std::atomic<TDateTime> FRetryDue{0.0};
  // Which of the two the tick found due; taken by the main thread.
  std::atomic<bool> FRefreshAsked{false};
  std::atomic<bool> FRetryAsked{false};
  std::unique_ptr<platform::NoticeWindow> FDeviceNotices;

  std::unique_ptr<TMidiOutMessageList> FMessageList;
  // Slot s is made before FSlotCount passes s (release) and never moved or
  // freed before the engine's end; the main thread makes slots.
  std::array<std::unique_ptr<TMidiOutputDev>, MaxOutputSlots> FSlots;
  std::atomic<std::int32_t> FSlotCount{0};
  std::unique_ptr<TMMTimer> FTimer;
};

template <class Event, class... Args>
void TVelmoraEngine::Fire(const Event& Handler, Args... Arguments) {
  if (Handler) FOperations.CallHandler([&] { Handler(*this, Arguments...); });
}

// Holds presets asked for by Program Change while it lives (a modal dialog
// is open); the last one asked for is selected when it goes.
class TPresetSwitchHold {
 public:
  explicit TPresetSwitchHold(TVelmoraEngine& Engine) : FEngine(Engine) { FEngine.HoldPresetSwitches(true); }
  ~TPresetSwitchHold() { FEngine.HoldPresetSwitches(false); }
  TPresetSwitchHold(const TPresetSwitchHold&) = delete;
  TPresetSwitchHold& operator=(const TPresetSwitchHold&) = delete;

 private:
  TVelmoraEngine& FEngine;
};
