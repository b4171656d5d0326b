// The program's single engine: created after the settings path and the
// device catalogue exist, destroyed at program exit. Engine.cpp owns it;
// GlobalEngine points at it while it lives.
#pragma once

#include "engine/VelmoraEngine.h"

void InitializeEngine();
void FinalizeEngine();  // the engine saves its settings as it is destroyed
