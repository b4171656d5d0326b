// Where the settings file lives: the per-user local application-data folder,
// and the program file's own name with the extension ".ini".
#pragma once

#include <string>

extern std::string IniFolder;    // with a trailing path delimiter
extern std::string IniFileName;  // IniFolder + program name + ".ini"

// The folder as the platform reports it, without a trailing delimiter.
std::string GetLocalAppDataFolder();

void InitializeIniDefs();  // sets both strings, first thing at program start
void FinalizeIniDefs();    // clears them, last thing at program end
