#include "engine/SystemMessagesSettings.h"

#include <string>

#include "settings/IniFile.h"

namespace {
const std::string SystemMessagesSection = "SystemMessages";
const std::string RouteKey = "Route";  // 0 by channel, 1 to every device, 2 not passed on
}  // namespace

TSystemMessages ReadSystemMessages(const TIniFile& Ini) {
  return TSystemMessageRouter::ChoiceOf(Ini.ReadInteger(SystemMessagesSection, RouteKey, smByChannel));
}

void WriteSystemMessages(TIniFile& Ini, TSystemMessages Choice) {
  Ini.WriteInteger(SystemMessagesSection, RouteKey, Choice);
}
