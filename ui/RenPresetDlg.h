// The rename dialog, modal: asks for a new name of the current preset and
// offers Ok only while the typed name is one the preset list would accept.
// It never changes the preset list itself.
#pragma once

#include <string>

#include "ui/FormPosition.h"
#include "ui/controls/Button.h"
#include "ui/controls/Edit.h"
#include "ui/controls/Form.h"

class TRenamePresetDialog : public TForm {
 public:
  explicit TRenamePresetDialog(HWND Owner);  // also does what FormCreate does

  TEdit PresetEdit;
  TButton OkButton;
  TButton CancelButton;

  // True exactly when the dialog was closed with Ok.
  bool Execute();
  std::string PresetName() const { return PresetEdit.Text(); }
  void SetPresetName(const std::string& Name) { PresetEdit.SetText(Name); }

  void PresetEditChange();

 private:
  TFormPosition FPosition{*this, "RenamePresetDialog"};  // last: saved while the controls still stand
};

extern TRenamePresetDialog* RenamePresetDialog;
