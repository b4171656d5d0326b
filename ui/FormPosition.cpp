#include "ui/FormPosition.h"

#include <exception>

#include "settings/SettingsStore.h"
#include "ui/controls/Application.h"
#include "ui/controls/Form.h"

// Stored in design units, so a file reads the same on every screen density
// (and as files did before the windows were scaled).
void TFormPosition::Load() {
  TSettingsStore& ini = SettingsStore();
  FForm.SetPosition(FForm.Scale(ini.ReadInteger(FSection, "Left", 0)),
                    FForm.Scale(ini.ReadInteger(FSection, "Top", 0)));
}

TFormPosition::~TFormPosition() {
  try {
    TSettingsWrites ini;
    ini.WriteInteger(FSection, "Left", FForm.Unscale(FForm.Left()));
    ini.WriteInteger(FSection, "Top", FForm.Unscale(FForm.Top()));
    SettingsStore().Save(ini);
  } catch (const std::exception& error) {
    HandleUiException(error);
  }
}
