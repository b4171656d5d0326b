// The information box, modal: the program's name, icon and version, the
// legal notice, and two links that the shell opens in the user's browser and
// mail program.
#pragma once

#include "ui/controls/Button.h"
#include "ui/controls/Form.h"
#include "ui/controls/Image.h"
#include "ui/controls/Label.h"
#include "ui/Version.h"

class TVersionDialog : public TForm {
 public:
  static constexpr const char* VersionText = "Version " VELMORA_VERSION;
  static constexpr const char* CopyrightText = "(C) 2026 The Velmora authors";
  static constexpr const char* HomeAddress = "https://velmora.example/";
  static constexpr const char* MailAddress = "velmora@example.org";

  explicit TVersionDialog(HWND Owner);  // also does what FormCreate does

  TLabel ApplicationNameLabel;
  TImage IconImage;
  TLabel VersionLabel;
  TLabel CopyrightLabel;
  TLabel HomeLabel;
  TLabel MailLabel;
  TButton OkButton;

  void HomeLabelClick();
  void MailLabelClick();
  void LabelsMouseEnter(TLabel& Sender);
  void LabelsMouseLeave(TLabel& Sender);

 private:
  void OpenInShell(const std::string& Prefix, const std::string& Address);
};

extern TVersionDialog* VersionDialog;
