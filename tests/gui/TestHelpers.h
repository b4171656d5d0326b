// Small steps shared by the GUI tests.
#pragma once

#include <string>

#include "GuiDriver.h"
#include "ui/controls/ComboBox.h"
#include "ui/controls/Edit.h"

namespace gui {

// The user picks a list entry by typing its first letter.
inline void ChooseByLetter(TComboBox& Combo, char Letter) { Type(Combo.Handle(), std::string(1, Letter)); }

// The text as a paste would put it into the edit.
inline void Paste(TEdit& Edit, const std::string& Text) {
  SetWindowTextA(Edit.Handle(), Text.c_str());
  Pump();
}

inline std::string ThousandSeparator() {
  char separator[8] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, sizeof separator);
  return separator;
}

}  // namespace gui
