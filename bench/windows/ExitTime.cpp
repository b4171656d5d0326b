// How long Velmora's exit takes under Windows or Wine: the program body is
// brought up as Velmora.exe brings it up, its message loop ends at the main
// window's first idle moment, and the time until the body is gone is the
// exit's work (the windows and the engine store their settings, the ports
// close). The first exit of a new installation writes a settings file that
// does not exist yet; a later one replaces the file it finds.
//
//   velmora_exit_time.exe    one line: first-exit <ms> later-exit <ms>
#include <windows.h>

#include <cstdio>

#include "app/VelmoraProgram.h"
#include "settings/IniDefs.h"
#include "ui/controls/Application.h"

namespace {

double MillisecondsSince(const LARGE_INTEGER& from) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Runs the program body to its first idle moment and times its exit; a
// negative figure when the loop ended before it was idle.
double TimedExit() {
  LARGE_INTEGER exitBegan{};
  bool reached = false;
  {
    TVelmoraProgram program;
    TApplication& app = program.App();
    const TApplication::TIdleEvent windowsOwn = app.OnIdle;
    app.OnIdle = [&](TApplication& sender, bool& done) {
      if (windowsOwn) windowsOwn(sender, done);
      reached = true;
      sender.OnIdle = nullptr;
      sender.Terminate();
    };
    program.Run();
    QueryPerformanceCounter(&exitBegan);
  }
  return reached ? MillisecondsSince(exitBegan) : -1.0;
}

void DeleteSettingsFile() {
  InitializeIniDefs();
  DeleteFileA(IniFileName.c_str());
  FinalizeIniDefs();
}

}  // namespace

int main() {
  DeleteSettingsFile();
  const double first = TimedExit();
  const double later = TimedExit();
  if (first < 0 || later < 0) {
    std::printf("velmora_exit_time: the message loop ended before its first idle moment\n");
    return 1;
  }
  std::printf("first-exit %.1f later-exit %.1f\n", first, later);
  return 0;
}
