// What every measurement under Wine starts with: the virtual MIDI driver
// loaded (winmm reads its device list once, so before anything else touches
// MIDI), and the Wine version for the report.
#pragma once

#include <string>

namespace bench {

// False, with the reason on stderr, when the driver is not loaded.
bool StartVirtualDevices();
// "Wine 8.0", or "Windows" where no Wine is underneath.
std::string SystemUnderneath();

}  // namespace bench
