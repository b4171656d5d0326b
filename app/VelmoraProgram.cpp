#include "app/VelmoraProgram.h"

#include <utility>

#include "engine/Engine.h"
#include "midi/MidiIO.h"
#include "settings/IniDefs.h"
#include "settings/IniFile.h"
#include "settings/WriteFailures.h"

TVelmoraProgram::TIniDefsUnit::TIniDefsUnit() { InitializeIniDefs(); }

void TVelmoraProgram::TIniDefsUnit::Finalize() {
  if (std::exchange(Done, true)) return;
  FinalizeIniDefs();
}

TVelmoraProgram::TMidiIOUnit::TMidiIOUnit() { BuildDeviceCatalogue(); }

void TVelmoraProgram::TMidiIOUnit::Finalize() {
  if (std::exchange(Done, true)) return;
  FreeDeviceCatalogue();
}

TVelmoraProgram::TEngineUnit::TEngineUnit() { InitializeEngine(); }

void TVelmoraProgram::TEngineUnit::Finalize() {
  if (std::exchange(Done, true)) return;
  // The engine stores the current preset, its settings and the preset names
  // as it goes.
  try {
    FinalizeEngine();
  } catch (const std::exception& error) {
    HandleUiException(error);
  }
}

namespace {
// Settings that could not be written are shown once per file, through the
// application's default error report, at the next idle moment (or at the
// end of the program): routing goes on meanwhile.
void ReportWriteFailures() {
  for (const std::string& file : TakeWriteFailures()) HandleUiException(EIniFileException(file));
}
}  // namespace

TVelmoraProgram::TVelmoraProgram() {
  FApplication.SetTitle("Velmora");
  FApplication.OnIdleWork = [](TApplication&) { ReportWriteFailures(); };
  const HWND owner = FVelmoraForm.Create().Handle();
  FEditPresetsDialog.Create(owner);
  FOptionDialog.Create(owner);
  FRenamePresetDialog.Create(owner);
  FVersionDialog.Create(owner);
  // Logging off or shutting down with the program open: the settings are
  // written as at a normal end before the system ends the process.
  FApplication.OnEndSession = [this] {
    Shutdown();
    ExitProcess(0);
  };
}

TVelmoraProgram::~TVelmoraProgram() { Shutdown(); }

void TVelmoraProgram::Shutdown() {
  FApplication.OnEndSession = nullptr;
  FVersionDialog.Destroy();
  FRenamePresetDialog.Destroy();
  FOptionDialog.Destroy();
  FEditPresetsDialog.Destroy();
  FVelmoraForm.Destroy();
  FApplication.OnIdle = nullptr;
  FApplication.OnIdleWork = nullptr;
  FEngine.Finalize();
  ReportWriteFailures();  // what the exit could not store
  FMidiIO.Finalize();
  FIniDefs.Finalize();
}
