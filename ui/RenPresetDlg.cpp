#include "ui/RenPresetDlg.h"

#include "engine/VelmoraEngine.h"
#include "ui/FormPosition.h"
#include "ui/controls/Application.h"

TRenamePresetDialog* RenamePresetDialog = nullptr;

namespace {

constexpr char PositionSection[] = "RenamePresetDialog";

TFormArgs RenameFormArgs(HWND owner) {
  TFormArgs args;
  args.Caption = "Rename Preset";
  args.ClientWidth = 296;
  args.ClientHeight = 96;
  args.Border = TFormBorder::Dialog;
  args.Placement = TFormPlacement::Default;
  args.Font = TFont("MS UI Gothic", -12, SHIFTJIS_CHARSET);
  args.Owner = owner;
  return args;
}

}  // namespace

TRenamePresetDialog::TRenamePresetDialog(HWND owner)
    : TForm(RenameFormArgs(owner)),
      PresetEdit(TEditArgs{{AsParent(), {16, 16, 264, 24}, ""}}),
      OkButton({AsParent(), {48, 56, 96, 24}, "Ok"}),
      CancelButton({AsParent(), {152, 56, 96, 24}, "Cancel"}) {
  OkButton.ModalResult = mrOk;
  CancelButton.ModalResult = mrCancel;
  SetDefaultButton(&OkButton);
  SetCancelButton(&CancelButton);
  PresetEdit.OnChange = [this](TEdit&) { PresetEditChange(); };
  // What FormCreate does, once every control exists:
  LoadPosition();
}

TRenamePresetDialog::~TRenamePresetDialog() {
  try {
    SavePosition();
  } catch (const std::exception& error) {
    HandleUiException(error);
  }
}

bool TRenamePresetDialog::Execute() {
  // Setting the name the edit already shows sends no change notice, and the
  // list may have changed since the last show: Ok is judged afresh each time.
  PresetEditChange();
  return ShowModal() == mrOk;
}

// The rule is applied to the name as the preset list will store it (without
// "]", control characters and surrounding blanks), so Ok is offered exactly
// when RenamePreset will take the name; the edit keeps the text as typed.
// The current preset's own name exists too, so the dialog opens with Ok
// disabled.
void TRenamePresetDialog::PresetEditChange() {
  const std::string name = TPresets::NormalizeName(PresetEdit.Text());
  OkButton.SetEnabled(!name.empty() && GlobalEngine->Presets().IndexOf(name) == -1);
}

void TRenamePresetDialog::LoadPosition() { LoadFormPosition(*this, PositionSection); }

void TRenamePresetDialog::SavePosition() { SaveFormPosition(*this, PositionSection); }
