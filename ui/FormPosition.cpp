#include "ui/FormPosition.h"

#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "ui/controls/Form.h"

void LoadFormPosition(TForm& Form, const std::string& Section) {
  const TIniFile ini(IniFileName);
  Form.SetPosition(ini.ReadInteger(Section, "Left", 0), ini.ReadInteger(Section, "Top", 0));
}

void SaveFormPosition(const TForm& Form, const std::string& Section) {
  TIniFile ini(IniFileName);
  ini.WriteInteger(Section, "Left", Form.Left());
  ini.WriteInteger(Section, "Top", Form.Top());
  ini.UpdateFile();
}
