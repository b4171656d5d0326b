// The preset editor, modeless: add, select, move, rename and delete presets.
// It keeps no list of its own: each command calls the engine's preset list,
// and the list box is refilled and selected only through the engine's
// events, which the main window passes to SetPresetItems and SetPresetIndex.
#pragma once

#include <string>
#include <vector>

#include "ui/FormPosition.h"
#include "ui/controls/Bevel.h"
#include "ui/controls/Button.h"
#include "ui/controls/Edit.h"
#include "ui/controls/Form.h"
#include "ui/controls/ListBox.h"
#include "ui/controls/PopupMenu.h"
#include "ui/controls/SpeedButton.h"

class TEditPresetsDialog : public TForm {
 public:
  explicit TEditPresetsDialog(HWND Owner);  // also does what FormCreate does

  TEdit NewPresetEdit;
  TSpeedButton AddPresetSpeedButton;
  TBevel BorderBevel;
  TSpeedButton MovePresetUpSpeedButton;
  TSpeedButton RenamePresetSpeedButton;
  TSpeedButton DeletePresetSpeedButton;
  TSpeedButton MovePresetDownSpeedButton;
  TListBox PresetsListBox;
  TButton CloseButton;
  TPopupMenu EditPresetsPopupMenu;
  TMenuItem& AddPresetCommand;
  TMenuItem& MovePresetUpCommand;
  TMenuItem& RenamePresetCommand;
  TMenuItem& DeletePresetCommand;
  TMenuItem& MovePresetDownCommand;

  // PresetItems: replacing the items loses the selection until the next
  // SetPresetIndex.
  std::vector<std::string> PresetItems() const { return PresetsListBox.Items(); }
  void SetPresetItems(const std::vector<std::string>& Items) { PresetsListBox.SetItems(Items); }
  void SetPresetIndex(int Index);

  void AddPresetSpeedButtonClick();
  void MovePresetUpSpeedButtonClick();
  void RenamePresetSpeedButtonClick();
  void DeletePresetSpeedButtonClick();
  void MovePresetDownSpeedButtonClick();
  void PresetsListBoxClick();
  void NewPresetEditChange();
  void CloseButtonClick();

 private:
  void UpdateCommands();
  TFormPosition FPosition{*this, "EditPresetsDialog"};  // last: saved while the controls still stand
};

extern TEditPresetsDialog* EditPresetsDialog;
