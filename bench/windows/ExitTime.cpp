// How long Velmora's exit takes under Windows or Wine: the program body is
// brought up as Velmora.exe brings it up, its message loop ends at the main
// window's first idle moment, and the time until the body is gone is the
// exit's work (the windows and the engine store their settings, the ports
// close). The first exit of a new installation writes a settings file that
// does not exist yet; a later one replaces the file it finds. One exit per
// process, as the program has.
//
//   velmora_exit_time.exe [--first]   one line: exit <ms> settings-written
//       <ms>, the second the time from the end of the loop to the settings
//       file's last write (the settings work and what the exit does before
//       it); --first removes the settings file before the start
#include <windows.h>

#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/VelmoraProgram.h"
#include "settings/IniDefs.h"
#include "ui/controls/Application.h"

namespace {

double MillisecondsSince(const LARGE_INTEGER& From) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - From.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double MillisecondsBetween(const FILETIME& From, const FILETIME& To) {
  const auto ticks = [](const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
  return (static_cast<double>(ticks(To)) - static_cast<double>(ticks(From))) / 10000.0;
}

struct TExitTimes {
  double Exit = -1;             // negative: the loop ended before its first idle moment
  double SettingsWritten = -1;  // negative: the file was not written during the exit
};

// Runs the program body to its first idle moment and times its exit.
TExitTimes TimedExit() {
  LARGE_INTEGER exitBegan{};
  FILETIME exitBeganAt{};
  bool reached = false;
  std::string settingsFile;
  TExitTimes times;
  {
    TVelmoraProgram program;
    settingsFile = IniFileName;
    TApplication& app = program.App();
    const TApplication::TIdleEvent windowsOwn = app.OnIdle;
    app.OnIdle = [&](TApplication& sender, bool& done) {
      if (windowsOwn) windowsOwn(sender, done);
      reached = true;
      sender.OnIdle = nullptr;
      sender.Terminate();
    };
    program.Run();
    GetSystemTimePreciseAsFileTime(&exitBeganAt);
    QueryPerformanceCounter(&exitBegan);
  }
  if (!reached) return times;
  times.Exit = MillisecondsSince(exitBegan);
  WIN32_FILE_ATTRIBUTE_DATA file{};
  if (GetFileAttributesExA(settingsFile.c_str(), GetFileExInfoStandard, &file))
    times.SettingsWritten = MillisecondsBetween(exitBeganAt, file.ftLastWriteTime);
  return times;
}

void DeleteSettingsFile() {
  InitializeIniDefs();
  DeleteFileA(IniFileName.c_str());
  FinalizeIniDefs();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--first") == 0) DeleteSettingsFile();
  const TExitTimes times = TimedExit();
  if (times.Exit < 0) {
    std::printf("velmora_exit_time: the message loop ended before its first idle moment\n");
    return 1;
  }
  std::printf("exit %.1f settings-written %.1f\n", times.Exit, times.SettingsWritten);
  return 0;
}
