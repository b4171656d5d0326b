// The main window: the MIDI input device, the option and preset commands
// and, for each of the sixteen MIDI channels, the output device with a lamp
// showing that device's state. It holds no routing state: every choice goes
// to GlobalEngine, and every change in the engine comes back through the
// engine's events, which this window also passes on to the option
// dialog and the preset editor. It owns the user-interface font.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "engine/VelmoraEngine.h"
#include "ui/FormPosition.h"
#include "ui/LED.h"
#include "ui/LampFlicker.h"
#include "ui/controls/Button.h"
#include "ui/controls/ComboBox.h"
#include "ui/controls/Form.h"
#include "ui/controls/GroupBox.h"
#include "ui/controls/Label.h"
#include "ui/controls/PopupMenu.h"

class TApplication;
class TOptionDialog;

// Channels are shown 0-based, as the MIDI status byte numbers them.
extern const std::array<const char*, ChannelCount> ChannelCaptions;

class TVelmoraForm : public TForm {
 public:
  TVelmoraForm();            // also does what FormCreate does
  ~TVelmoraForm() override;  // does what FormDestroy does

  // Designed components, in declaration order.
  TGroupBox MidiInGroupBox;
  TComboBox MidiInComboBox;
  TGroupBox OptionGroupBox;
  TButton OptionSetupButton;
  TGroupBox PresetGroupBox;
  TComboBox PresetComboBox;
  TButton EditPresetButton;
  TGroupBox MidiOutGroupBox;
  TLabel ChannelLabel1;
  TLabel DeviceLabel1;
  TLabel ChannelLabel2;
  TLabel DeviceLabel2;
  TPopupMenu VelmoraPopupMenu;
  TMenuItem& OptionSetupCommand;
  TMenuItem& PresetEditCommand;
  TMenuItem& PanicCommand;
  TMenuItem& ReopenCommand;
  TMenuItem& VersionCommand;
  TMenuItem& MinimizeCommand;
  TMenuItem& QuitCommand;

  // Built at run time.
  std::unique_ptr<TLED> MidiInLED;
  std::array<std::unique_ptr<TComboBox>, ChannelCount> ChannelComboBoxes;
  std::array<std::unique_ptr<TLabel>, ChannelCount> ChannelLabels;
  std::array<std::unique_ptr<TLED>, ChannelCount> ChannelLEDs;
  std::unique_ptr<TFont> UIFont;
  // After the lamps, so it goes before them.
  TLampFlicker LampFlicker;

  void ApplyFont();
  void OptionDialogFontChange(TOptionDialog& Sender, const TFont& Font);
  void FirstIdle(TApplication& Sender, bool& Done);
  // A settings file that cannot be written or read, shown without stopping
  // anything: a mark in the title and the reason in the window's hint. An
  // empty reason (the last save worked) clears both.
  void ShowSettingsFault(const std::string& Reason);
  static constexpr char SettingsFaultMark[] = " - settings not saved";

  // Handlers of the user's actions.
  void MidiInComboBoxChange(TComboBox& Sender);
  void PresetComboBoxChange(TComboBox& Sender);
  void ChannelComboBoxChange(TComboBox& Sender);
  void OptionSetupButtonClick();
  void EditPresetButtonClick();
  void PanicCommandClick();
  void ReopenCommandClick();
  void VersionCommandClick();
  void MinimizeCommandClick();
  void QuitCommandClick();

 protected:
  void DpiChanged() override { AlignToFont(); }
  LRESULT HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The channel rows' grid in the MIDI OUT box: two columns of eight rows;
  // each channel label is right-aligned to ChannelLabelRight in its column.
  static constexpr int RowsPerColumn = 8;
  static constexpr int ColumnWidth = 376;
  static constexpr int RowHeight = 32;
  static constexpr int ChannelLabelRight = 22;

  void CreateChannelRows();
  // The sizes and positions that follow the font: lamps and buttons as high
  // as the combo boxes beside them, channel labels right-aligned.
  void AlignToFont();
  void HookEngine();
  void UnhookEngine();

  // Handlers of the engine's events.
  void EngineMidiInDeviceChange(TVelmoraEngine& Sender, std::int32_t Index);
  void EngineMidiInStateChange(TVelmoraEngine& Sender, TMidiPortState State);
  void EngineDelayChange(TVelmoraEngine& Sender, std::int32_t Device, std::int32_t Milliseconds);
  void EngineChannelDeviceChange(TVelmoraEngine& Sender, std::uint8_t Channel, std::int32_t Device);
  void EngineMidiOutStateChange(TVelmoraEngine& Sender, std::int32_t Device, TMidiPortState State);
  void EnginePresetIndexChange(TVelmoraEngine& Sender, std::int32_t Index);
  void EnginePresetsChange(TVelmoraEngine& Sender, TPresets& Presets);
  void EngineTimerIntervalChange(TVelmoraEngine& Sender, std::int32_t Milliseconds);
  void EnginePresetSwitchChannelChange(TVelmoraEngine& Sender, std::int32_t Channel);
  void EngineSystemMessagesChange(TVelmoraEngine& Sender, std::int32_t Choice);
  void EngineDevicesChange(TVelmoraEngine& Sender);
  // A row's device, the lamp of its state, and the hint that names the
  // device and, for a channel waiting for an absent device, that one.
  void ShowChannel(TVelmoraEngine& Sender, std::uint8_t Channel);
  void ShowInput(TVelmoraEngine& Sender);

  // Set when FirstIdle has read the stored font: before that, UIFont is the
  // designed font, and storing it would overwrite the user's.
  bool FFontLoaded = false;
  TFormPosition FPosition{*this, "Velmora"};  // last: saved while the controls still stand
};

extern TVelmoraForm* VelmoraForm;
