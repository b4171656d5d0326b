// The program body: the units start in the order IniDefs, MidiIO, Engine;
// the application gets its title; the five windows are created (main
// window first, so it is the application's main window); the message loop
// runs until the main window closes. At the end the windows go, last
// created first, and then the units, in reverse order.
#pragma once

#include "app/PublishedWindow.h"
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
  // The end of the program: the windows, last created first, then the units
  // in reverse order. Runs once, from the destructor or when the system ends
  // the session.
  void Shutdown();

  // Each unit's initialiser runs when its member is built and its finaliser
  // when the member goes, so the order of the members is the order of the
  // units. A finaliser that fails (a settings file that cannot be written)
  // is shown by the application's error report.
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
};
