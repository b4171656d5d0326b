// The choice for system messages in the settings file: a section of its
// own, new to a file of an earlier version and so added at its end. A file
// without it, or with a value that is none of the choices, means
// smByChannel.
#pragma once

#include "engine/SystemMessageRouter.h"

class TSettingsStore;
class TSettingsWrites;

TSystemMessages ReadSystemMessages(TSettingsStore& Settings);
void WriteSystemMessages(TSettingsWrites& Writes, TSystemMessages Choice);
