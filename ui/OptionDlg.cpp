#include "ui/OptionDlg.h"

#include <algorithm>

#include "engine/VelmoraEngine.h"
#include "midi/MidiIO.h"
#include "midi/MidiMessages.h"
#include "ui/FontSettings.h"
#include "ui/controls/Application.h"

TOptionDialog* OptionDialog = nullptr;

namespace {

constexpr int DesignedClientHeight = 168;
constexpr int PageControlBottomMargin = DesignedClientHeight - 127;   // anchored to all edges
constexpr int CloseButtonBottomMargin = DesignedClientHeight - 136;  // anchored left and bottom
constexpr int MiscRightMargin = 16;
constexpr int MiscBottomMargin = 16;
// Input rows as the delay rows: 24 pixels apart, the lamp in front, the
// check box's text level with a label's.
constexpr int InputRowHeight = 24;
constexpr int InputRowsTop = 16;
constexpr int InputLampLeft = 16;
constexpr int InputBoxLeft = 32;
constexpr int InputBoxDrop = 3;

}  // namespace

TOptionDialog::TOptionDialog(HWND Owner)
    : TForm({.Caption = "Velmora - Option", .ClientWidth = 192, .ClientHeight = DesignedClientHeight,
             .Border = TFormBorder::Single, .Placement = TFormPlacement::Designed,
             .Font = DesignedFont(), .Owner = Owner}),
      OptionPageControl({AsParent(), {0, 0, 192, 127}, ""}),
      DelayTabSheet(OptionPageControl.AddPage("Delay")),
      MiscTabSheet(OptionPageControl.AddPage("Misc")),
      InputsTabSheet(OptionPageControl.AddPage("Inputs")),
      TimerIntervalLabel(TLabelArgs{{MiscTabSheet.AsParent(), {16, 19, 73, 12}, "Timer Interval:"}}),
      TimerIntervalEdit(TEditArgs{.Control = {MiscTabSheet.AsParent(), {104, 16, 48, 20}, "4"},
                                  .AutoSelect = true,
                                  .InputMethod = false}),
      TimerIntervalUpDown(TUpDownArgs{.Control = {MiscTabSheet.AsParent(), {152, 16, 16, 20}, ""},
                                      .Associate = &TimerIntervalEdit,
                                      .Min = 1,
                                      .Max = 100,
                                      .Position = 4}),
      FontLabel(TLabelArgs{{MiscTabSheet.AsParent(), {16, 64, 25, 12}, "Font:"}}),
      FontSetupButton({MiscTabSheet.AsParent(), {104, 59, 64, 24}, "Setup"}),
      // A row as the two above, 43 pixels below the last; sized to its text.
      PresetSwitchLabel(TLabelArgs{{MiscTabSheet.AsParent(), {16, 105, 0, 0}, "Presets by Program Change on channel"}}),
      PresetSwitchComboBox({MiscTabSheet.AsParent(), {104, 102, 64, 20}, ""}),
      SystemMessagesLabel(TLabelArgs{{MiscTabSheet.AsParent(), {16, 148, 0, 0}, "System messages"}}),
      SystemMessagesComboBox({MiscTabSheet.AsParent(), {104, 145, 112, 20}, ""}),
      CloseButton({AsParent(), {56, 136, 80, 24}, "Close"}) {
  OptionPageControl.SetActivePage(MiscTabSheet);
  UIFontDialog.Font = TFont("Tahoma", -11);  // replaced by SetUIFont before any use
  TimerIntervalEdit.OnChange = [this](TEdit& sender) { TimerIntervalEditChange(sender); };
  FontSetupButton.OnClick = [this](TButton&) { FontSetupButtonClick(); };
  std::vector<std::string> channels = {"Off"};
  for (int channel = 0; channel < ChannelCount; ++channel) channels.push_back(std::to_string(channel));
  PresetSwitchComboBox.SetItems(channels);
  PresetSwitchComboBox.OnChange = [this](TComboBox& sender) { PresetSwitchComboBoxChange(sender); };
  // In the order of TSystemMessages.
  SystemMessagesComboBox.SetItems({"By channel", "To every device", "Not passed on"});
  SystemMessagesComboBox.OnChange = [this](TComboBox& sender) { SystemMessagesComboBoxChange(sender); };
  CloseButton.OnClick = [this](TButton&) { CloseButtonClick(); };
  SetDefaultButton(&CloseButton);
  SetCancelButton(&CloseButton);
  FBuilt = true;

  // What FormCreate does, once every control exists:
  DelayEdits.resize(static_cast<std::size_t>(MidiOutDeviceCount));
  DelayLabels.resize(static_cast<std::size_t>(MidiOutDeviceCount));
  DelayUpDowns.resize(static_cast<std::size_t>(MidiOutDeviceCount));
  BuildDelayRows();
  BuildInputRows();
  FPosition.Load();
}

void TOptionDialog::BuildDelayRows() {
  const TParent page = DelayTabSheet.AsParent();
  for (std::size_t i = 0; i < DelayEdits.size(); ++i) {
    const int top = 24 * static_cast<int>(i) + 16;
    // An empty name stands for a device whose capabilities were not reported.
    DelayLabels[i] = std::make_unique<TLabel>(
        TLabelArgs{{page, {16, top + 3, 0, 0}, MidiOutDeviceNames[static_cast<std::int32_t>(i)]}});
    DelayEdits[i] = std::make_unique<TEdit>(TEditArgs{
        .Control = {page, {16, top, 48, 24}, ""}, .AutoSelect = false, .InputMethod = false});
    DelayEdits[i]->Tag = static_cast<int>(i);
    const auto delay = std::clamp<std::int32_t>(GlobalEngine->Delays(static_cast<std::int32_t>(i)), 0, 9999);
    DelayUpDowns[i] = std::make_unique<TUpDown>(TUpDownArgs{.Control = {page, {64, top, 16, 24}, ""},
                                                            .Associate = DelayEdits[i].get(),
                                                            .Min = 0,
                                                            .Max = 9999,
                                                            .Position = static_cast<std::int16_t>(delay)});
    DelayUpDowns[i]->Tag = static_cast<int>(i);
    // Assigned once the pair is complete: the up-down's first text is the
    // engine's own value, which SetDelay would ignore anyway.
    DelayEdits[i]->OnChange = [this](TEdit& sender) { DelayEditChange(sender); };
  }
  TimerIntervalUpDown.SetPosition(GlobalEngine->TimerInterval());
  UpdatePresetSwitchChannel(GlobalEngine->PresetSwitchChannel());
  UpdateSystemMessages(GlobalEngine->SystemMessages());
}

// The devices the system lists now; a checked input that is absent has no
// row (its name stays in the settings) and gets one again when it arrives.
void TOptionDialog::BuildInputRows() {
  const TParent page = InputsTabSheet.AsParent();
  for (auto& lamp : InputLEDs) InputLampFlicker.Forget(*lamp);
  InputCheckBoxes.clear();
  InputLEDs.clear();
  for (std::int32_t i = 0; i < MidiInDeviceNames.Count(); ++i) {
    const int top = InputRowHeight * i + InputRowsTop;
    InputLEDs.push_back(std::make_unique<TLED>(page, InputLampLeft, top));
    InputLampFlicker.Watch(*InputLEDs.back());
    auto box = std::make_unique<TCheckBox>(
        TCheckBoxArgs{.Control = {page, {InputBoxLeft, top + InputBoxDrop, 0, 0}, MidiInDeviceNames[i]}});
    box->Tag = i;
    box->OnClick = [this](TCheckBox& sender) { InputCheckBoxClick(sender); };
    InputCheckBoxes.push_back(std::move(box));
  }
  UpdateInputs();
}

void TOptionDialog::UpdateInputs() {
  // The catalogue was read again and the rows are not yet built for it:
  // DevicesChange comes next and shows them.
  if (InputCheckBoxes.size() != static_cast<std::size_t>(MidiInDeviceNames.Count())) return;
  for (std::size_t row = 0; row < InputCheckBoxes.size(); ++row) {
    const auto device = static_cast<std::int32_t>(row);
    InputCheckBoxes[row]->SetChecked(GlobalEngine->InputChecked(device));
    InputCheckBoxes[row]->SetEnabled(device != GlobalEngine->MidiInDevice());
    TMidiInput* port = GlobalEngine->InputPort(device);
    const TMidiPortState state = port != nullptr ? port->State() : mpsClosed;
    InputLEDs[row]->SetActivity(port != nullptr ? &port->Activity() : nullptr);
    InputLEDs[row]->SetState(state);
    InputLEDs[row]->SetHint(LampHint(MidiInDeviceNames[device], state, ""));
  }
}

void TOptionDialog::InputCheckBoxClick(TCheckBox& Sender) {
  GlobalEngine->SetInputChecked(Sender.Tag, Sender.Checked());
  // The box shows what the engine did, also when it refused.
  UpdateInputs();
}

void TOptionDialog::DevicesChange() {
  // The up-downs go before the edits they are paired with.
  DelayUpDowns.clear();
  DelayEdits.clear();
  DelayLabels.clear();
  DelayEdits.resize(static_cast<std::size_t>(MidiOutDeviceCount));
  DelayLabels.resize(static_cast<std::size_t>(MidiOutDeviceCount));
  DelayUpDowns.resize(static_cast<std::size_t>(MidiOutDeviceCount));
  BuildDelayRows();
  BuildInputRows();
  const TFont font = Font();  // laid out again for the font in use
  SetUIFont(font);
}

void TOptionDialog::UpdateDelay(int Device, int Milliseconds) {
  if (Device < 0 || static_cast<std::size_t>(Device) >= DelayUpDowns.size()) return;
  DelayUpDowns[static_cast<std::size_t>(Device)]->SetPosition(Milliseconds);
}

void TOptionDialog::UpdateTimerInterval(int Milliseconds) {
  TimerIntervalUpDown.SetPosition(Milliseconds);
}

// Entry 0 is "Off"; channel c is entry c + 1.
void TOptionDialog::UpdatePresetSwitchChannel(int Channel) { PresetSwitchComboBox.SetItemIndex(Channel + 1); }

void TOptionDialog::UpdateSystemMessages(int Choice) { SystemMessagesComboBox.SetItemIndex(Choice); }

void TOptionDialog::SetUIFont(const TFont& Font) {
  SetFont(Font);
  UIFontDialog.Font = Font;

  int labelColumn = 0;
  for (auto& label : DelayLabels) labelColumn = std::max(labelColumn, label->Width());
  for (std::size_t i = 0; i < DelayEdits.size(); ++i) {
    DelayEdits[i]->SetLeft(labelColumn + 24);
    DelayUpDowns[i]->SetLeft(labelColumn + 72);
  }

  TimerIntervalEdit.SetLeft(TimerIntervalLabel.Left() + TimerIntervalLabel.Width() + 8);
  TimerIntervalUpDown.SetLeft(TimerIntervalEdit.Left() + TimerIntervalEdit.Width());
  FontSetupButton.SetLeft(TimerIntervalEdit.Left());
  // The two lists of the lower rows stand in one column.
  const int listsLeft = std::max(PresetSwitchLabel.Left() + PresetSwitchLabel.Width(),
                                 SystemMessagesLabel.Left() + SystemMessagesLabel.Width()) + 8;
  PresetSwitchComboBox.SetLeft(listsLeft);
  SystemMessagesComboBox.SetLeft(listsLeft);

  // Margin, label column, gap, edit, up-down and margin: 16 + W + 8 + 48 + 16 + 16.
  const int needWidth =
      std::max({labelColumn + 104, TimerIntervalUpDown.Left() + TimerIntervalUpDown.Width(),
                PresetSwitchComboBox.Left() + PresetSwitchComboBox.Width() + MiscRightMargin,
                SystemMessagesComboBox.Left() + SystemMessagesComboBox.Width() + MiscRightMargin});
  if (DelayTabSheet.ClientWidth() < needWidth)
    SetClientSize(ClientWidth() + needWidth - DelayTabSheet.ClientWidth(), ClientHeight());
  if (!DelayEdits.empty()) {
    const TEdit& last = *DelayEdits.back();
    const int needHeight = last.Top() + last.Height() + 16;
    if (DelayTabSheet.ClientHeight() < needHeight)
      SetClientSize(ClientWidth(), ClientHeight() + needHeight - DelayTabSheet.ClientHeight());
  }
  int widestBox = 0;
  for (auto& box : InputCheckBoxes) widestBox = std::max(widestBox, box->Width());
  const int inputsWidth = InputBoxLeft + widestBox + MiscRightMargin;
  if (InputsTabSheet.ClientWidth() < inputsWidth)
    SetClientSize(ClientWidth() + inputsWidth - InputsTabSheet.ClientWidth(), ClientHeight());
  if (!InputLEDs.empty()) {
    const TLED& last = *InputLEDs.back();
    const int needHeight = last.Top() + last.Height() + MiscBottomMargin;
    if (InputsTabSheet.ClientHeight() < needHeight)
      SetClientSize(ClientWidth(), ClientHeight() + needHeight - InputsTabSheet.ClientHeight());
  }
  const int miscHeight = SystemMessagesComboBox.Top() + SystemMessagesComboBox.Height() + MiscBottomMargin;
  if (MiscTabSheet.ClientHeight() < miscHeight)
    SetClientSize(ClientWidth(), ClientHeight() + miscHeight - MiscTabSheet.ClientHeight());
  CloseButton.SetLeft((ClientWidth() - CloseButton.Width()) / 2);
}

void TOptionDialog::Resized() {
  if (!FBuilt) return;
  OptionPageControl.SetBounds({0, 0, ClientWidth(), ClientHeight() - PageControlBottomMargin});
  OptionPageControl.LayoutPages();
  CloseButton.SetTop(ClientHeight() - CloseButtonBottomMargin);
}

void TOptionDialog::DelayEditChange(TEdit& Sender) {
  const auto device = static_cast<std::size_t>(Sender.Tag);
  const std::int32_t milliseconds = DelayUpDowns[device]->Position();
  GlobalEngine->SetDelay(static_cast<std::int32_t>(device), milliseconds);
}

void TOptionDialog::TimerIntervalEditChange(TEdit&) {
  GlobalEngine->SetTimerInterval(TimerIntervalUpDown.Position());
}

void TOptionDialog::PresetSwitchComboBoxChange(TComboBox& Sender) {
  GlobalEngine->SetPresetSwitchChannel(Sender.ItemIndex() - 1);
}

void TOptionDialog::SystemMessagesComboBoxChange(TComboBox& Sender) {
  GlobalEngine->SetSystemMessages(Sender.ItemIndex());
}

void TOptionDialog::FontSetupButtonClick() {
  // The font comes back through SetUIFont when the main window applies it.
  if (UIFontDialog.Execute(Handle()) && OnFontChange) OnFontChange(*this, UIFontDialog.Font);
}

void TOptionDialog::CloseButtonClick() { Close(); }
