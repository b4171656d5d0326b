// The Engine unit: creates the single engine after the settings path and the
// device catalogue exist, and destroys it at program exit.
#pragma once

#include "engine/VelmoraEngine.h"

void InitializeEngine();  // GlobalEngine := a new engine
void FinalizeEngine();    // frees GlobalEngine (it saves as it goes)
