#include "engine/Engine.h"

void InitializeEngine() {
  // The constructor publishes itself in GlobalEngine.
  new TVelmoraEngine;
}

void FinalizeEngine() { delete GlobalEngine; }
