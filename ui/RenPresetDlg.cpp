#include "ui/RenPresetDlg.h"

#include "engine/VelmoraEngine.h"
#include "ui/FontSettings.h"
#include "ui/controls/Application.h"

TRenamePresetDialog* RenamePresetDialog = nullptr;

TRenamePresetDialog::TRenamePresetDialog(HWND Owner)
    : TForm({.Caption = "Rename Preset", .ClientWidth = 296, .ClientHeight = 96,
             .Border = TFormBorder::Dialog, .Placement = TFormPlacement::Default,
             .Font = DesignedFont(), .Owner = Owner}),
      PresetEdit(TEditArgs{{AsParent(), {16, 16, 264, 24}, ""}}),
      OkButton({AsParent(), {48, 56, 96, 24}, "Ok"}),
      CancelButton({AsParent(), {152, 56, 96, 24}, "Cancel"}) {
  OkButton.ModalResult = mrOk;
  CancelButton.ModalResult = mrCancel;
  SetDefaultButton(&OkButton);
  SetCancelButton(&CancelButton);
  PresetEdit.OnChange = [this](TEdit&) { PresetEditChange(); };
  // What FormCreate does, once every control exists:
  FPosition.Load();
}

bool TRenamePresetDialog::Execute() {
  // Setting the name the edit already shows sends no change notice, and the
  // list may have changed since the last show: Ok is judged afresh each time.
  PresetEditChange();
  return ShowModal() == mrOk;
}

// Ok exactly when RenamePreset will take the name, judged as the list will
// store it; the edit keeps the text as typed. The dialog opens on the current
// name, which exists, so Ok starts disabled.
void TRenamePresetDialog::PresetEditChange() {
  const std::string stored = TPresets::NormalizeName(PresetEdit.Text());
  const bool renameAccepts = !stored.empty() && GlobalEngine->Presets().IndexOf(stored) == -1;
  OkButton.SetEnabled(renameAccepts);
}
