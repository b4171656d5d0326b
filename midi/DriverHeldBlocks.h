// Heap blocks that a driver may still own: a header it refused to give back
// (MIDIERR_STILLPLAYING after a reset that failed, as a device that vanished
// answers). Freeing them could let the driver write into reused memory, so
// they are kept, reachable, until the program ends.
#pragma once

#include <cstddef>

void KeepBlockForDriver(void* Block);
