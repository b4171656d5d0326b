#include "ui/VelmoraFrm.h"

#include <algorithm>
#include <string>

#include "midi/MidiIO.h"
#include "ui/EditPresetsDlg.h"
#include "ui/FontSettings.h"
#include "ui/OptionDlg.h"
#include "ui/RenPresetDlg.h"
#include "ui/VersionDlg.h"
#include "ui/controls/Application.h"
#include "ui/controls/ToolTip.h"

TVelmoraForm* VelmoraForm = nullptr;

const std::array<const char*, ChannelCount> ChannelCaptions = {
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15"};

namespace {

constexpr char MainCaption[] = "Velmora";

}  // namespace

TVelmoraForm::TVelmoraForm()
    : TForm({.Caption = MainCaption, .ClientWidth = 768, .ClientHeight = 376,
             .Border = TFormBorder::Single, .Placement = TFormPlacement::Designed,
             .Font = DesignedFont()}),
      MidiInGroupBox({AsParent(), {8, 8, 352, 48}, " MIDI IN "}),
      MidiInComboBox({MidiInGroupBox.AsParent(), {16, 16, 328, 20}, ""}),
      OptionGroupBox({AsParent(), {368, 8, 64, 48}, " Option "}),
      OptionSetupButton({OptionGroupBox.AsParent(), {8, 16, 48, 24}, "Setup"}),
      PresetGroupBox({AsParent(), {440, 8, 320, 48}, " Preset "}),
      PresetComboBox({PresetGroupBox.AsParent(), {8, 16, 264, 20}, ""}),
      EditPresetButton({PresetGroupBox.AsParent(), {272, 16, 40, 24}, "Edit"}),
      MidiOutGroupBox({AsParent(), {8, 64, 752, 304}, " MIDI OUT "}),
      ChannelLabel1(TLabelArgs{{MidiOutGroupBox.AsParent(), {8, 16, 16, 12}, "Ch."}}),
      DeviceLabel1(TLabelArgs{.Control = {MidiOutGroupBox.AsParent(), {32, 16, 336, 23}, "Device"},
                            .AutoSize = false,
                            .Alignment = TAlignment::Center}),
      ChannelLabel2(TLabelArgs{{MidiOutGroupBox.AsParent(), {384, 16, 16, 12}, "Ch."}}),
      DeviceLabel2(TLabelArgs{.Control = {MidiOutGroupBox.AsParent(), {408, 16, 336, 23}, "Device"},
                            .AutoSize = false,
                            .Alignment = TAlignment::Center}),
      OptionSetupCommand(VelmoraPopupMenu.Add("Option ...", CtrlKey('O'))),
      PresetEditCommand(VelmoraPopupMenu.Add("Preset ...", CtrlKey('P'))),
      PanicCommand((VelmoraPopupMenu.AddSeparator(), VelmoraPopupMenu.Add("Panic", CtrlKey(VK_SPACE)))),
      ReopenCommand(VelmoraPopupMenu.Add("Reopen", CtrlKey('R'))),
      VersionCommand(
          (VelmoraPopupMenu.AddSeparator(), VelmoraPopupMenu.Add("Version ...", {.Key = VK_F1}))),
      MinimizeCommand(
          (VelmoraPopupMenu.AddSeparator(), VelmoraPopupMenu.Add("Minimize", CtrlKey('Z')))),
      QuitCommand(VelmoraPopupMenu.Add("Quit", CtrlKey('Q'))) {
  MidiInComboBox.OnChange = [this](TComboBox& sender) { MidiInComboBoxChange(sender); };
  PresetComboBox.OnChange = [this](TComboBox& sender) { PresetComboBoxChange(sender); };
  OptionSetupButton.OnClick = [this](TButton&) { OptionSetupButtonClick(); };
  EditPresetButton.OnClick = [this](TButton&) { EditPresetButtonClick(); };
  // A popup command that repeats a button shares the button's handler.
  OptionSetupCommand.OnClick = [this](TMenuItem&) { OptionSetupButtonClick(); };
  PresetEditCommand.OnClick = [this](TMenuItem&) { EditPresetButtonClick(); };
  PanicCommand.OnClick = [this](TMenuItem&) { PanicCommandClick(); };
  ReopenCommand.OnClick = [this](TMenuItem&) { ReopenCommandClick(); };
  VersionCommand.OnClick = [this](TMenuItem&) { VersionCommandClick(); };
  MinimizeCommand.OnClick = [this](TMenuItem&) { MinimizeCommandClick(); };
  QuitCommand.OnClick = [this](TMenuItem&) { QuitCommandClick(); };
  SetPopupMenu(&VelmoraPopupMenu);
  // The panic must be at hand whichever window has the focus.
  if (Application) Application->AddApplicationShortcut(PanicCommand.ShortCut(), [this] { PanicCommandClick(); });

  // What FormCreate does, once every control exists:
  UIFont = std::make_unique<TFont>(Font());
  CreateChannelRows();
  // Laid out for the designed font while still hidden: applying the stored
  // font at the first idle moment then moves only what that font changes
  // (nothing, when it is the designed one), not every row of a window
  // already on screen.
  AlignToFont();
  FPosition.Load();
  PresetComboBox.SetItems(GlobalEngine->Presets().Items());
  PresetComboBox.SetItemIndex(GlobalEngine->Presets().ItemIndex());
  HookEngine();
  if (Application)
    Application->OnIdle = [this](TApplication& sender, bool& done) { FirstIdle(sender, done); };
}

TVelmoraForm::~TVelmoraForm() {
  // What FormDestroy does. The engine outlives the window and still reports
  // port states while it shuts down: it must find no handler of ours by
  // then, also when saving fails.
  try {
    if (FFontLoaded) SaveFontToIni(FontSection, *UIFont);
  } catch (const std::exception& error) {
    UnhookEngine();
    HandleUiException(error);
    UIFont.reset();
    return;
  }
  UnhookEngine();
  UIFont.reset();
}

void TVelmoraForm::CreateChannelRows() {
  MidiInLED = std::make_unique<TLED>(MidiInGroupBox.AsParent(), 8, 17);
  MidiInLED->SetActivity(&GlobalEngine->MidiIn().Activity());
  LampFlicker.Watch(*MidiInLED);
  MidiInComboBox.SetItems(MidiInDeviceNames.Items());
  for (int r = 0; r < ChannelCount; ++r) {
    const int x = ColumnWidth * (r / RowsPerColumn);
    const int y = RowHeight * (r % RowsPerColumn);
    ChannelLabels[r] = std::make_unique<TLabel>(
        TLabelArgs{{MidiOutGroupBox.AsParent(), {x + 8, y + 43, 0, 0}, ChannelCaptions[r]}});
    ChannelLEDs[r] = std::make_unique<TLED>(MidiOutGroupBox.AsParent(), x + 32, y + 41);
    LampFlicker.Watch(*ChannelLEDs[r]);  // given its device's counter when routed
    auto combo =
        std::make_unique<TComboBox>(TControlArgs{MidiOutGroupBox.AsParent(), {x + 40, y + 40, 328, 20}, ""});
    combo->SetItems(MidiOutDeviceNames.Items());
    combo->Tag = r;
    combo->OnChange = [this](TComboBox& sender) { ChannelComboBoxChange(sender); };
    ChannelComboBoxes[r] = std::move(combo);
  }
}

void TVelmoraForm::HookEngine() {
  GlobalEngine->Events() = TEngineEvents{
      .OnMidiInDeviceChange = [this](TVelmoraEngine& s, std::int32_t i) { EngineMidiInDeviceChange(s, i); },
      .OnMidiInStateChange = [this](TVelmoraEngine& s, TMidiPortState st) { EngineMidiInStateChange(s, st); },
      .OnDelayChange = [this](TVelmoraEngine& s, std::int32_t d, std::int32_t ms) { EngineDelayChange(s, d, ms); },
      .OnChannelDeviceChange =
          [this](TVelmoraEngine& s, std::uint8_t c, std::int32_t d) { EngineChannelDeviceChange(s, c, d); },
      .OnMidiOutStateChange =
          [this](TVelmoraEngine& s, std::int32_t d, TMidiPortState st) { EngineMidiOutStateChange(s, d, st); },
      .OnPresetIndexChange = [this](TVelmoraEngine& s, std::int32_t i) { EnginePresetIndexChange(s, i); },
      .OnPresetsChange = [this](TVelmoraEngine& s, TPresets& p) { EnginePresetsChange(s, p); },
      .OnTimerIntervalChange = [this](TVelmoraEngine& s, std::int32_t ms) { EngineTimerIntervalChange(s, ms); },
      .OnPresetSwitchChannelChange =
          [this](TVelmoraEngine& s, std::int32_t c) { EnginePresetSwitchChannelChange(s, c); },
      .OnSystemMessagesChange =
          [this](TVelmoraEngine& s, std::int32_t c) { EngineSystemMessagesChange(s, c); },
      .OnDevicesChange = [this](TVelmoraEngine& s) { EngineDevicesChange(s); },
      .OnInputsChange = [](TVelmoraEngine&) { OptionDialog->UpdateInputs(); },
  };
}

void TVelmoraForm::UnhookEngine() { GlobalEngine->Events() = {}; }

// Not in FormCreate: it needs the dialogs, which the program body creates
// after this window. At the first idle moment all five windows exist and
// this one is on screen.
void TVelmoraForm::FirstIdle(TApplication& Sender, bool&) {
  Sender.OnIdle = nullptr;  // once only, also when a step below fails
  OptionDialog->SetUIFont(*UIFont);
  OptionDialog->OnFontChange = [this](TOptionDialog& sender, const TFont& font) {
    OptionDialogFontChange(sender, font);
  };
  LoadFontFromIni(FontSection, *UIFont);
  FFontLoaded = true;
  ApplyFont();
  GlobalEngine->Start();
}

void TVelmoraForm::ShowSettingsFault(const std::string& Reason) {
  SetCaption(Reason.empty() ? std::string(MainCaption) : std::string(MainCaption) + SettingsFaultMark);
  ToolTips().Set(Handle(), Reason);
}

void TVelmoraForm::ApplyFont() {
  SetFont(*UIFont);
  EditPresetsDialog->SetFont(*UIFont);
  OptionDialog->SetUIFont(*UIFont);
  RenamePresetDialog->SetFont(*UIFont);
  AlignToFont();
}

void TVelmoraForm::AlignToFont() {
  MidiInLED->SetHeight(MidiInComboBox.Height() - 2);
  OptionSetupButton.SetHeight(MidiInComboBox.Height());
  EditPresetButton.SetHeight(PresetComboBox.Height());
  for (int r = 0; r < ChannelCount; ++r) {
    TLabel& label = *ChannelLabels[r];
    label.SetLeft(ColumnWidth * (r / RowsPerColumn) + ChannelLabelRight - label.Width());
    ChannelLEDs[r]->SetHeight(ChannelComboBoxes[r]->Height() - 2);
  }
}

void TVelmoraForm::OptionDialogFontChange(TOptionDialog&, const TFont& Font) {
  *UIFont = Font;
  ApplyFont();  // stored only at exit
}

void TVelmoraForm::MidiInComboBoxChange(TComboBox& Sender) {
  GlobalEngine->SetMidiInDevice(Sender.ItemIndex());
}

void TVelmoraForm::PresetComboBoxChange(TComboBox& Sender) {
  GlobalEngine->Presets().SetItemIndex(Sender.ItemIndex());
}

void TVelmoraForm::ChannelComboBoxChange(TComboBox& Sender) {
  GlobalEngine->SetChannelDevice(static_cast<std::uint8_t>(Sender.Tag), Sender.ItemIndex());
}

void TVelmoraForm::OptionSetupButtonClick() { OptionDialog->Show(); }

void TVelmoraForm::EditPresetButtonClick() { EditPresetsDialog->Show(); }

void TVelmoraForm::PanicCommandClick() { GlobalEngine->Panic(); }

void TVelmoraForm::ReopenCommandClick() { GlobalEngine->Reopen(); }

LRESULT TVelmoraForm::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) {
  // Sent to every top-level window when a device is plugged in or pulled;
  // the engine reads its devices again once the burst of notices is over.
  if (Message == WM_DEVICECHANGE) GlobalEngine->DeviceChangeNotice();
  return TForm::HandleMessage(Message, wParam, lParam);
}

void TVelmoraForm::VersionCommandClick() {
  const TPresetSwitchHold hold(*GlobalEngine);
  VersionDialog->ShowModal();
}

void TVelmoraForm::MinimizeCommandClick() {
  if (Application) Application->Minimize();
}

void TVelmoraForm::QuitCommandClick() { Close(); }

void TVelmoraForm::EngineMidiInDeviceChange(TVelmoraEngine& Sender, std::int32_t Index) {
  MidiInComboBox.SetItemIndex(Index);
  ShowInput(Sender);
}

void TVelmoraForm::EngineMidiInStateChange(TVelmoraEngine& Sender, TMidiPortState) { ShowInput(Sender); }

void TVelmoraForm::ShowInput(TVelmoraEngine& Sender) {
  const TMidiPortState state = Sender.MidiIn().State();
  MidiInLED->SetState(state);
  const std::int32_t input = Sender.MidiInDevice();
  const std::string name = input >= 0 && input < MidiInDeviceNames.Count() ? MidiInDeviceNames[input] : "";
  MidiInLED->SetHint(LampHint(name, state, Sender.WaitingInput()));
  // The Inputs page shows the main input's row checked and its state.
  if (OptionDialog) OptionDialog->UpdateInputs();
}

void TVelmoraForm::EngineDelayChange(TVelmoraEngine&, std::int32_t Device,
                                     std::int32_t Milliseconds) {
  OptionDialog->UpdateDelay(Device, Milliseconds);
}

void TVelmoraForm::EngineChannelDeviceChange(TVelmoraEngine& Sender, std::uint8_t Channel,
                                             std::int32_t) {
  if (Channel >= ChannelComboBoxes.size()) return;
  ShowChannel(Sender, Channel);
}

void TVelmoraForm::EngineMidiOutStateChange(TVelmoraEngine& Sender, std::int32_t Device,
                                            TMidiPortState) {
  for (std::uint8_t channel = 0; channel < ChannelCount; ++channel)
    if (Sender.ChannelDevices(channel) == Device) ShowChannel(Sender, channel);
}

void TVelmoraForm::ShowChannel(TVelmoraEngine& Sender, std::uint8_t Channel) {
  const std::int32_t device = Sender.ChannelDevices(Channel);
  ChannelComboBoxes[Channel]->SetItemIndex(device);
  // A device already open shows its colour at once.
  const bool known = device >= 0 && device < Sender.MidiOutCount();
  const TMidiPortState state = known ? Sender.MidiOutStates(device) : mpsClosed;
  // Rows that share a device share its counter, so they flicker together.
  ChannelLEDs[Channel]->SetActivity(known ? &Sender.MidiOuts(device).Activity() : nullptr);
  ChannelLEDs[Channel]->SetState(state);
  ChannelLEDs[Channel]->SetHint(LampHint(known ? MidiOutDeviceNames[device] : "", state, Sender.WaitingFor(Channel)));
}

// The lists show the devices present now; every row shows the device it
// plays on, whatever number that has now.
void TVelmoraForm::EngineDevicesChange(TVelmoraEngine& Sender) {
  MidiInComboBox.SetItems(MidiInDeviceNames.Items());
  MidiInComboBox.SetItemIndex(Sender.MidiInDevice());
  ShowInput(Sender);
  for (std::uint8_t channel = 0; channel < ChannelCount; ++channel) {
    ChannelComboBoxes[channel]->SetItems(MidiOutDeviceNames.Items());
    ShowChannel(Sender, channel);
  }
  OptionDialog->DevicesChange();
}

void TVelmoraForm::EnginePresetIndexChange(TVelmoraEngine&, std::int32_t Index) {
  PresetComboBox.SetItemIndex(Index);
  EditPresetsDialog->SetPresetIndex(Index);
}

void TVelmoraForm::EnginePresetsChange(TVelmoraEngine&, TPresets& Presets) {
  PresetComboBox.SetItems(Presets.Items());
  EditPresetsDialog->SetPresetItems(Presets.Items());
}

void TVelmoraForm::EngineTimerIntervalChange(TVelmoraEngine&, std::int32_t Milliseconds) {
  OptionDialog->UpdateTimerInterval(Milliseconds);
}

void TVelmoraForm::EnginePresetSwitchChannelChange(TVelmoraEngine&, std::int32_t Channel) {
  OptionDialog->UpdatePresetSwitchChannel(Channel);
}

void TVelmoraForm::EngineSystemMessagesChange(TVelmoraEngine&, std::int32_t Choice) {
  OptionDialog->UpdateSystemMessages(Choice);
}
