// The option dialog, modeless: a "Delay" page with one row per MIDI output
// device, a "Misc" page with the timer interval, the font chooser and the
// channel whose Program Changes select presets and where system messages go,
// and an "Inputs" page with one row per MIDI input device: a lamp and a check
// box that merges the device's messages into the routing.
// There is no OK step: each change goes to the engine at once, and the
// engine's changes come back through UpdateDelay and UpdateTimerInterval.
// The dialog only grows with a larger font, never shrinks.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ui/FormPosition.h"
#include "ui/LED.h"
#include "ui/LampFlicker.h"
#include "ui/controls/Button.h"
#include "ui/controls/CheckBox.h"
#include "ui/controls/ComboBox.h"
#include "ui/controls/Edit.h"
#include "ui/controls/FontDialog.h"
#include "ui/controls/Form.h"
#include "ui/controls/Label.h"
#include "ui/controls/PageControl.h"
#include "ui/controls/UpDown.h"

class TOptionDialog : public TForm {
 public:
  using TFontChangeEvent = std::function<void(TOptionDialog& Sender, const TFont& Font)>;

  explicit TOptionDialog(HWND Owner);  // also does what FormCreate does

  TPageControl OptionPageControl;
  TTabSheet& DelayTabSheet;
  TTabSheet& MiscTabSheet;
  TTabSheet& InputsTabSheet;
  TLabel TimerIntervalLabel;
  TEdit TimerIntervalEdit;
  TUpDown TimerIntervalUpDown;
  TLabel FontLabel;
  TButton FontSetupButton;
  TLabel PresetSwitchLabel;
  TComboBox PresetSwitchComboBox;
  TLabel SystemMessagesLabel;
  TComboBox SystemMessagesComboBox;  // entry i is TSystemMessages i
  TButton CloseButton;
  TFontDialog UIFontDialog;

  std::vector<std::unique_ptr<TEdit>> DelayEdits;
  std::vector<std::unique_ptr<TLabel>> DelayLabels;
  std::vector<std::unique_ptr<TUpDown>> DelayUpDowns;
  // Before the lamps it reads, so it goes after them.
  TLampFlicker InputLampFlicker;
  // Row i is input device i of the catalogue; the main input's box is
  // checked and disabled.
  std::vector<std::unique_ptr<TLED>> InputLEDs;
  std::vector<std::unique_ptr<TCheckBox>> InputCheckBoxes;
  TFontChangeEvent OnFontChange;

  void UpdateDelay(int Device, int Milliseconds);
  // The catalogue was read again: one row per device present now.
  void DevicesChange();
  void UpdateTimerInterval(int Milliseconds);
  void UpdatePresetSwitchChannel(int Channel);
  void UpdateSystemMessages(int Choice);
  // The inputs checked, the main one and their states changed.
  void UpdateInputs();
  void SetUIFont(const TFont& Font);

  void DelayEditChange(TEdit& Sender);
  void TimerIntervalEditChange(TEdit& Sender);
  void FontSetupButtonClick();
  void PresetSwitchComboBoxChange(TComboBox& Sender);
  void SystemMessagesComboBoxChange(TComboBox& Sender);
  void InputCheckBoxClick(TCheckBox& Sender);
  void CloseButtonClick();

 protected:
  void Resized() override;
  void DpiChanged() override { SetUIFont(Font()); }

 private:
  void BuildDelayRows();
  void BuildInputRows();

  bool FBuilt = false;
  TFormPosition FPosition{*this, "OptionDialog"};  // last: saved while the controls still stand
};

extern TOptionDialog* OptionDialog;
