// The program body: the settings paths, the device catalogue and the engine
// are set up in this order; the application gets its title; the five
// windows are created (main window first, so it is the application's main
// window); the message loop runs until the main window closes. At the end
// the windows go, last created first, and then the engine, the catalogue
// and the paths.
#pragma once

#include <memory>

#include "app/PublishedWindow.h"
#include "platform/NoticeWindow.h"
#include "ui/EditPresetsDlg.h"
#include "ui/OptionDlg.h"
#include "ui/RenPresetDlg.h"
#include "ui/VelmoraFrm.h"
#include "ui/VersionDlg.h"
#include "ui/controls/Application.h"

class TVelmoraProgram {
 public:
  TVelmoraProgram();
  ~TVelmoraProgram();
  TVelmoraProgram(const TVelmoraProgram&) = delete;
  TVelmoraProgram& operator=(const TVelmoraProgram&) = delete;

  TApplication& App() { return FApplication; }
  void Run() { FApplication.Run(); }

 private:
  // The end of the program: the windows, last created first, then the
  // engine, the catalogue and the paths. Runs once, from the destructor or
  // when the system ends the session.
  void Shutdown();

  // Each member sets up its part when it is built and takes it down when it
  // goes, so the order of the members is the order of start-up. A take-down
  // that fails (a settings file that cannot be written) is shown by the
  // application's error report.
  struct TIniDefsUnit {
    TIniDefsUnit();
    ~TIniDefsUnit() { Finalize(); }
    void Finalize();
    bool Done = false;
  };
  struct TMidiIOUnit {
    TMidiIOUnit();
    ~TMidiIOUnit() { Finalize(); }
    void Finalize();
    bool Done = false;
  };
  struct TEngineUnit {
    TEngineUnit();
    ~TEngineUnit() { Finalize(); }
    void Finalize();
    bool Done = false;
  };

  // Built first and gone last, so the error report works during shutdown.
  TApplication FApplication;
  TIniDefsUnit FIniDefs;
  TMidiIOUnit FMidiIO;
  TEngineUnit FEngine;

  TPublishedWindow<TVelmoraForm> FVelmoraForm{VelmoraForm};
  TPublishedWindow<TEditPresetsDialog> FEditPresetsDialog{EditPresetsDialog};
  TPublishedWindow<TOptionDialog> FOptionDialog{OptionDialog};
  TPublishedWindow<TRenamePresetDialog> FRenamePresetDialog{RenamePresetDialog};
  TPublishedWindow<TVersionDialog> FVersionDialog{VersionDialog};
  // Tells the main window when the settings file's fault changes.
  std::unique_ptr<platform::NoticeWindow> FSettingsNotices;
};
