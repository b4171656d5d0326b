#include "engine/SystemMessagesSettings.h"

#include <string>

#include "settings/SettingsStore.h"

namespace {
const std::string SystemMessagesSection = "SystemMessages";
const std::string RouteKey = "Route";  // 0 by channel, 1 to every device, 2 not passed on
}  // namespace

TSystemMessages ReadSystemMessages(TSettingsStore& Settings) {
  return TSystemMessageRouter::ChoiceOf(Settings.ReadInteger(SystemMessagesSection, RouteKey, smByChannel));
}

void WriteSystemMessages(TSettingsWrites& Writes, TSystemMessages Choice) {
  Writes.WriteInteger(SystemMessagesSection, RouteKey, Choice);
}
