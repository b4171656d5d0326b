#include "app/VelmoraProgram.h"

#include <utility>

#include "engine/Engine.h"
#include "engine/Exceptions.h"
#include "midi/MidiIO.h"
#include "settings/IniDefs.h"
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

TVelmoraProgram::TVelmoraProgram() {
  FApplication.SetTitle("Velmora");
  const HWND owner = FVelmoraForm.Create().Handle();
  // While the program runs, a settings file that cannot be written or read
  // is shown in the main window, never in a box in front of the musician:
  // the settings' writer thread posts the news to the main thread.
  FSettingsNotices = std::make_unique<platform::NoticeWindow>([](TMessage& message) {
    if (message.Msg == platform::SelfNotice && VelmoraForm) VelmoraForm->ShowSettingsFault(SettingsFault());
  });
  SetSettingsFaultListener([notices = FSettingsNotices.get()] { notices->PostSelfNotice(); });
  VelmoraForm->ShowSettingsFault(SettingsFault());  // a read at start may have failed already
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
  SetSettingsFaultListener(nullptr);
  FSettingsNotices.reset();
  FVersionDialog.Destroy();
  FRenamePresetDialog.Destroy();
  FOptionDialog.Destroy();
  FEditPresetsDialog.Destroy();
  FVelmoraForm.Destroy();
  FApplication.OnIdle = nullptr;
  FEngine.Finalize();
  // At the end a box may say what could not be stored: the fault the last
  // save left (a failure that a later save made good is not told).
  TakeWriteFailures();
  if (const std::string fault = SettingsFault(); !fault.empty()) HandleUiException(Exception(fault));
  FMidiIO.Finalize();
  FIniDefs.Finalize();
}
