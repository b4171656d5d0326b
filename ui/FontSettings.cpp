#include "ui/FontSettings.h"

#include "settings/SettingsStore.h"

void LoadFontFromIni(const std::string& Section, TFont& Font) {
  TSettingsStore& ini = SettingsStore();
  Font.Charset = static_cast<std::uint8_t>(ini.ReadInteger(Section, "Charset", Font.Charset) & 0xFF);
  Font.Color = ini.ReadInteger(Section, "Color", Font.Color);
  Font.Name = ini.ReadString(Section, "Name", Font.Name);
  Font.Orientation = ini.ReadInteger(Section, "Orientation", Font.Orientation);
  Font.Pitch = static_cast<std::uint8_t>(ini.ReadInteger(Section, "Pitch", Font.Pitch) & 0xFF);
  // The height stands for the size; it is only recomputed for a new size,
  // so a missing key leaves a height that no whole point size gives alone.
  const std::int32_t size = ini.ReadInteger(Section, "Size", Font.Size());
  if (size != Font.Size()) Font.SetSize(size);
  Font.Style = static_cast<std::uint8_t>(ini.ReadInteger(Section, "Style", Font.Style) & 0xFF);
}

void SaveFontToIni(const std::string& Section, const TFont& Font) {
  TSettingsWrites ini;
  ini.WriteInteger(Section, "Charset", Font.Charset);
  ini.WriteInteger(Section, "Color", Font.Color);
  ini.WriteString(Section, "Name", Font.Name);
  ini.WriteInteger(Section, "Orientation", Font.Orientation);
  ini.WriteInteger(Section, "Pitch", Font.Pitch);
  ini.WriteInteger(Section, "Size", Font.Size());
  ini.WriteInteger(Section, "Style", Font.Style);
  SettingsStore().Save(ini);
}
