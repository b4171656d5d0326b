// Start-up time of the program body under Windows or Wine: from the moment
// the operating system created the process to the main window's first idle
// moment (the one at which the stored font is applied and the engine
// starts), and the part of it that passes before the program's own code
// runs. The program body is the same one Velmora.exe runs; this program only
// watches its first idle moment and then ends the message loop.
//
//   velmora_startup_time.exe               one line of figures, milliseconds
//   velmora_startup_time.exe --breakdown   first the system services the
//       program's start touches, each timed alone on first use, then the
//       program body: where a slow start spends its time
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdint>
#include <cstring>
#include <functional>

#include "platform/Platform.h"

#include "app/VelmoraProgram.h"
#include "ui/controls/Application.h"

namespace {

std::uint64_t Ticks(const FILETIME& Time) {
  return (std::uint64_t{Time.dwHighDateTime} << 32) | Time.dwLowDateTime;
}

// 100-nanosecond units of the system time, as milliseconds.
double MillisecondsBetween(const FILETIME& From, const FILETIME& To) {
  return static_cast<double>(Ticks(To) - Ticks(From)) / 10000.0;
}

double MillisecondsSince(const LARGE_INTEGER& From) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - From.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

void Timed(const char* What, const std::function<void()>& Step) {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  Step();
  std::printf("step %-58s %8.1f ms\n", What, MillisecondsSince(start));
}

int CALLBACK AnyFace(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM) { return 0; }

void LookUpFace(const char* Name) {
  LOGFONTA query{};
  query.lfCharSet = DEFAULT_CHARSET;
  std::strncpy(query.lfFaceName, Name, LF_FACESIZE - 1);
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &query, AnyFace, 0, 0);
  ReleaseDC(nullptr, screen);
}

// Each service on its first use, in the order the program's start reaches
// them; what is left for the program body afterwards is its own work.
void Breakdown() {
  Timed("MIDI device counts (winmm loads its drivers)", [] {
    platform::midiInGetNumDevs();
    platform::midiOutGetNumDevs();
  });
  Timed("common controls", [] {
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&init);
  });
  Timed("first window created and destroyed (display connection)", [] {
    HWND window = CreateWindowExA(0, "STATIC", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    DestroyWindow(window);
  });
  Timed("first font face look-up (EnumFontFamiliesExA)", [] { LookUpFace("Tahoma"); });
  Timed("100 further look-ups of an installed face", [] {
    for (int i = 0; i < 100; ++i) LookUpFace("Tahoma");
  });
  Timed("100 further look-ups of a missing face", [] {
    for (int i = 0; i < 100; ++i) LookUpFace("No Such Face At All");
  });
}

}  // namespace

int main(int argc, char** argv) {
  FILETIME entered;
  GetSystemTimePreciseAsFileTime(&entered);
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);

  const bool breakdown = argc > 1 && std::strcmp(argv[1], "--breakdown") == 0;
  if (breakdown) Breakdown();
  FILETIME bodyStart;
  GetSystemTimePreciseAsFileTime(&bodyStart);

  FILETIME firstIdle{};
  FILETIME idleBegan{};
  FILETIME constructed{};
  bool reached = false;
  {
    TVelmoraProgram program;
    GetSystemTimePreciseAsFileTime(&constructed);
    TApplication& app = program.App();
    // The main window's own first-idle handler runs first; it clears the
    // event, which is safe because the application calls a copy of it.
    const TApplication::TIdleEvent windowsOwn = app.OnIdle;
    app.OnIdle = [&](TApplication& sender, bool& done) {
      GetSystemTimePreciseAsFileTime(&idleBegan);
      if (windowsOwn) windowsOwn(sender, done);
      GetSystemTimePreciseAsFileTime(&firstIdle);
      reached = true;
      sender.OnIdle = nullptr;
      sender.Terminate();
    };
    program.Run();
  }
  if (!reached) {
    std::printf("velmora_startup_time: the message loop ended before its first idle moment\n");
    return 1;
  }
  if (breakdown) {
    std::printf("step %-58s %8.1f ms\n", "program body: units and the five windows built",
                MillisecondsBetween(bodyStart, constructed));
    std::printf("step %-58s %8.1f ms\n", "program body: main window shown, until the loop is idle",
                MillisecondsBetween(constructed, idleBegan));
    std::printf("step %-58s %8.1f ms\n", "program body: the window's first-idle work (font, engine start)",
                MillisecondsBetween(idleBegan, firstIdle));
    return 0;
  }
  std::printf("process-start-to-main %.1f process-start-to-first-idle %.1f main-to-first-idle %.1f "
              "windows-built %.1f\n",
              MillisecondsBetween(created, entered), MillisecondsBetween(created, firstIdle),
              MillisecondsBetween(entered, firstIdle), MillisecondsBetween(entered, constructed));
  return 0;
}
