#include "ui/VersionDlg.h"

#include <shellapi.h>

TVersionDialog* VersionDialog = nullptr;

namespace {

constexpr int ProgramIconId = 1;

// The one 32 x 32 image of the program's icon, shared by the process.
HICON ProgramIcon() {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ProgramIconId),
                                       IMAGE_ICON, 32, 32, LR_SHARED));
}

TFont LinkFont() { return TFont("Courier New", -12, DEFAULT_CHARSET, clBlue, fsUnderline); }

}  // namespace

TVersionDialog::TVersionDialog(HWND Owner)
    : TForm({.Caption = "Velmora - Version Information", .ClientWidth = 272, .ClientHeight = 176,
             .Border = TFormBorder::Dialog, .Placement = TFormPlacement::ScreenCenter,
             .Font = TFont("Times New Roman", -12, DEFAULT_CHARSET), .Owner = Owner}),
      ApplicationNameLabel(TLabelArgs{{AsParent(), {16, 16, 82, 15}, "Velmora"}}),
      IconImage({AsParent(), {16, 52, 32, 32}, ""}, ProgramIcon()),
      VersionLabel(TLabelArgs{{AsParent(), {72, 48, 63, 15}, "Version"}}),
      CopyrightLabel(TLabelArgs{{AsParent(), {72, 72, 151, 15}, CopyrightText}}),
      HomeLabel(TLabelArgs{{AsParent(), {88, 96, 147, 15}, HomeAddress}}),
      MailLabel(TLabelArgs{{AsParent(), {88, 112, 98, 15}, MailAddress}}),
      OkButton({AsParent(), {96, 144, 80, 24}, "Ok"}) {
  for (TLabel* link : {&HomeLabel, &MailLabel}) {
    link->SetFont(LinkFont());
    link->SetCursor(IDC_HAND);
    link->OnMouseEnter = [this](TLabel& sender) { LabelsMouseEnter(sender); };
    link->OnMouseLeave = [this](TLabel& sender) { LabelsMouseLeave(sender); };
  }
  HomeLabel.OnClick = [this](TLabel&) { HomeLabelClick(); };
  MailLabel.OnClick = [this](TLabel&) { MailLabelClick(); };
  OkButton.ModalResult = mrOk;
  SetDefaultButton(&OkButton);
  SetCancelButton(&OkButton);
  // What FormCreate does, once every control exists:
  VersionLabel.SetCaption(VersionText);
}

void TVersionDialog::HomeLabelClick() { OpenInShell("URL:", HomeAddress); }

void TVersionDialog::MailLabelClick() { OpenInShell("mailto:", MailAddress); }

void TVersionDialog::LabelsMouseEnter(TLabel& Sender) { Sender.SetFontColor(clRed); }

void TVersionDialog::LabelsMouseLeave(TLabel& Sender) { Sender.SetFontColor(clBlue); }

// Failures are ignored: with no program for the address nothing happens and
// the dialog stays open. Shells that no longer resolve the "URL:" form get
// the bare address, which goes to the same default browser.
void TVersionDialog::OpenInShell(const std::string& Prefix, const std::string& Address) {
  const std::string target = Prefix + Address;
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(Handle(), "open", target.c_str(), "", "", SW_SHOWNORMAL));
  if (result <= 32 && Prefix == "URL:")
    ShellExecuteA(Handle(), "open", Address.c_str(), "", "", SW_SHOWNORMAL);
}
