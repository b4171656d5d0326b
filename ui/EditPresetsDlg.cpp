#include "ui/EditPresetsDlg.h"

#include <algorithm>

#include "engine/VelmoraEngine.h"
#include "ui/FontSettings.h"
#include "ui/RenPresetDlg.h"
#include "ui/controls/Application.h"

TEditPresetsDialog* EditPresetsDialog = nullptr;

namespace {

TPresets& Presets() { return GlobalEngine->Presets(); }

}  // namespace

TEditPresetsDialog::TEditPresetsDialog(HWND Owner)
    : TForm({.Caption = "Velmora - Edit Presets", .ClientWidth = 360, .ClientHeight = 240,
             .Border = TFormBorder::Dialog, .Placement = TFormPlacement::Default,
             .Font = DesignedFont(), .Owner = Owner}),
      NewPresetEdit(TEditArgs{{AsParent(), {16, 16, 264, 24}, ""}}),
      AddPresetSpeedButton({AsParent(), {288, 16, 56, 24}, "Add"}),
      BorderBevel({AsParent(), {16, 55, 328, 8}, ""}),
      MovePresetUpSpeedButton({AsParent(), {288, 72, 56, 24}, "Up"}),
      RenamePresetSpeedButton({AsParent(), {288, 104, 56, 24}, "Rename"}),
      DeletePresetSpeedButton({AsParent(), {288, 136, 56, 24}, "Delete"}),
      MovePresetDownSpeedButton({AsParent(), {288, 168, 56, 24}, "Down"}),
      PresetsListBox({AsParent(), {16, 72, 264, 120}, ""}),
      CloseButton({AsParent(), {132, 208, 96, 24}, "Close"}),
      AddPresetCommand(EditPresetsPopupMenu.Add("&Add Preset", CtrlKey('A'))),
      MovePresetUpCommand((EditPresetsPopupMenu.AddSeparator(),
                           EditPresetsPopupMenu.Add("Move Preset &Up", CtrlKey('U')))),
      RenamePresetCommand(EditPresetsPopupMenu.Add("&Rename Preset", CtrlKey('R'))),
      DeletePresetCommand(EditPresetsPopupMenu.Add("&Delete Preset", CtrlKey('D'))),
      MovePresetDownCommand(EditPresetsPopupMenu.Add("Move Preset Down (&B)", CtrlKey('B'))) {
  RenamePresetCommand.SetEnabled(false);  // as designed, until UpdateCommands
  AddPresetSpeedButton.SetHint("Ctrl+A");
  MovePresetUpSpeedButton.SetHint("Ctrl+U");
  RenamePresetSpeedButton.SetHint("Ctrl+R");
  DeletePresetSpeedButton.SetHint("Ctrl+D");
  MovePresetDownSpeedButton.SetHint("Ctrl+B");

  NewPresetEdit.OnChange = [this](TEdit&) { NewPresetEditChange(); };
  AddPresetSpeedButton.OnClick = [this](TSpeedButton&) { AddPresetSpeedButtonClick(); };
  MovePresetUpSpeedButton.OnClick = [this](TSpeedButton&) { MovePresetUpSpeedButtonClick(); };
  RenamePresetSpeedButton.OnClick = [this](TSpeedButton&) { RenamePresetSpeedButtonClick(); };
  DeletePresetSpeedButton.OnClick = [this](TSpeedButton&) { DeletePresetSpeedButtonClick(); };
  MovePresetDownSpeedButton.OnClick = [this](TSpeedButton&) { MovePresetDownSpeedButtonClick(); };
  PresetsListBox.OnClick = [this](TListBox&) { PresetsListBoxClick(); };
  CloseButton.OnClick = [this](TButton&) { CloseButtonClick(); };
  AddPresetCommand.OnClick = [this](TMenuItem&) { AddPresetSpeedButtonClick(); };
  MovePresetUpCommand.OnClick = [this](TMenuItem&) { MovePresetUpSpeedButtonClick(); };
  RenamePresetCommand.OnClick = [this](TMenuItem&) { RenamePresetSpeedButtonClick(); };
  DeletePresetCommand.OnClick = [this](TMenuItem&) { DeletePresetSpeedButtonClick(); };
  MovePresetDownCommand.OnClick = [this](TMenuItem&) { MovePresetDownSpeedButtonClick(); };
  SetDefaultButton(&CloseButton);
  SetCancelButton(&CloseButton);
  SetPopupMenu(&EditPresetsPopupMenu);

  // What FormCreate does, once every control exists:
  FPosition.Load();
  SetPresetItems(Presets().Items());
  SetPresetIndex(Presets().ItemIndex());
}

void TEditPresetsDialog::SetPresetIndex(int Index) {
  PresetsListBox.SetItemIndex(Index);
  UpdateCommands();
}

// Follows the engine's current index, not the list box's selection.
void TEditPresetsDialog::UpdateCommands() {
  const int index = Presets().ItemIndex();
  const int count = Presets().Count();
  const bool up = index > 1;
  const bool renameOrDelete = index > 0;
  const bool down = index > 0 && index < count - 1;
  MovePresetUpSpeedButton.SetEnabled(up);
  MovePresetUpCommand.SetEnabled(up);
  RenamePresetSpeedButton.SetEnabled(renameOrDelete);
  RenamePresetCommand.SetEnabled(renameOrDelete);
  DeletePresetSpeedButton.SetEnabled(renameOrDelete);
  DeletePresetCommand.SetEnabled(renameOrDelete);
  MovePresetDownSpeedButton.SetEnabled(down);
  MovePresetDownCommand.SetEnabled(down);
}

void TEditPresetsDialog::AddPresetSpeedButtonClick() {
  const std::string name = NewPresetEdit.Text();
  NewPresetEdit.SetText("");  // in every case, also when AddPreset refuses
  Presets().AddPreset(name);
}

void TEditPresetsDialog::MovePresetUpSpeedButtonClick() { Presets().MovePresetUp(); }

void TEditPresetsDialog::RenamePresetSpeedButtonClick() {
  // Held until the rename is done, so that it renames the preset it began
  // with, not one a Program Change selected meanwhile.
  const TPresetSwitchHold hold(*GlobalEngine);
  RenamePresetDialog->SetPresetName(Presets().CurrentName());
  if (RenamePresetDialog->Execute()) Presets().RenamePreset(RenamePresetDialog->PresetName());
}

void TEditPresetsDialog::DeletePresetSpeedButtonClick() { Presets().DeletePreset(); }

void TEditPresetsDialog::MovePresetDownSpeedButtonClick() { Presets().MovePresetDown(); }

void TEditPresetsDialog::PresetsListBoxClick() { Presets().SetItemIndex(PresetsListBox.ItemIndex()); }

void TEditPresetsDialog::NewPresetEditChange() {
  // Every "]" goes at once, typed or pasted; the caret stays behind the
  // character it followed, so typing goes on where it was.
  const std::string text = NewPresetEdit.Text();
  std::string kept;
  int caret = NewPresetEdit.SelStart();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ']') {
      if (static_cast<int>(i) < NewPresetEdit.SelStart()) --caret;
    } else {
      kept.push_back(text[i]);
    }
  }
  if (kept == text) return;
  NewPresetEdit.SetText(kept);
  NewPresetEdit.SetSelStart(std::max(caret, 0));
}

void TEditPresetsDialog::CloseButtonClick() { Close(); }
