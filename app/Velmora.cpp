// Velmora.exe: a MIDI router for one input and up to sixteen outputs. The
// program takes no command-line arguments.
#include <exception>

#include <windows.h>

#include "app/VelmoraProgram.h"
#include "platform/win32/NoticeExceptions.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // An exception a MIDI port's notice handler lets out is shown like those
  // of the windows, and the program goes on.
  platform::win32::SetNoticeExceptionHandler(&HandleUiException);
  try {
    TVelmoraProgram program;
    program.Run();
  } catch (const std::exception& error) {
    // Only a start that could not build its windows ends here.
    MessageBoxA(nullptr, error.what(), "Velmora", MB_OK | MB_ICONERROR);
    return 1;
  }
  return 0;
}
