#include "engine/Engine.h"

#include <memory>

#include "settings/SettingsStore.h"

namespace {
// The program's engine. Its constructor points GlobalEngine at it (the queue
// and the preset list reach it from there while it is being built) and its
// destructor clears GlobalEngine.
std::unique_ptr<TVelmoraEngine> ProgramEngine;
}  // namespace

void InitializeEngine() { ProgramEngine = std::make_unique<TVelmoraEngine>(); }

void FinalizeEngine() {
  ProgramEngine.reset();
  // The exit's saves are on the disk (or reported) before the program goes on.
  SettingsStore().Flush();
}
