#include "ui/FormPosition.h"

#include "settings/SettingsStore.h"
#include "ui/controls/Form.h"

void LoadFormPosition(TForm& Form, const std::string& Section) {
  TSettingsStore& ini = SettingsStore();
  Form.SetPosition(ini.ReadInteger(Section, "Left", 0), ini.ReadInteger(Section, "Top", 0));
}

void SaveFormPosition(const TForm& Form, const std::string& Section) {
  TSettingsWrites ini;
  ini.WriteInteger(Section, "Left", Form.Left());
  ini.WriteInteger(Section, "Top", Form.Top());
  SettingsStore().Save(ini);
}
