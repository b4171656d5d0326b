#include "ui/FormPosition.h"

#include "settings/SettingsStore.h"
#include "ui/controls/Form.h"

// Stored in design units, so a file reads the same on every screen density
// (and as files did before the windows were scaled).
void LoadFormPosition(TForm& Form, const std::string& Section) {
  TSettingsStore& ini = SettingsStore();
  Form.SetPosition(Form.Scale(ini.ReadInteger(Section, "Left", 0)), Form.Scale(ini.ReadInteger(Section, "Top", 0)));
}

void SaveFormPosition(const TForm& Form, const std::string& Section) {
  TSettingsWrites ini;
  ini.WriteInteger(Section, "Left", Form.Unscale(Form.Left()));
  ini.WriteInteger(Section, "Top", Form.Unscale(Form.Top()));
  SettingsStore().Save(ini);
}
