/* The reference for the start-up time: a bare Win32 program in plain C that
 * builds one window of about the main window's size with 18 combo boxes,
 * 18 labels and 4 buttons, shows it, and ends at its first idle moment (the
 * first time the message queue is empty after the window is shown). It
 * prints the same times as velmora_startup_time.exe, from the moment the
 * system created the process. It stays this small on purpose: it is what
 * any program with such a window pays, whatever Velmora becomes.
 *
 *   velmora_bare_startup.exe   one line of figures, milliseconds */
#include <windows.h>

#include <stdio.h>

enum { ComboCount = 18, ButtonCount = 4, RowsPerColumn = 9, ColumnWidth = 376, RowHeight = 30 };

static double MillisecondsBetween(FILETIME From, FILETIME To) {
  ULARGE_INTEGER a, b;
  a.LowPart = From.dwLowDateTime;
  a.HighPart = From.dwHighDateTime;
  b.LowPart = To.dwLowDateTime;
  b.HighPart = To.dwHighDateTime;
  return (double)(b.QuadPart - a.QuadPart) / 10000.0; /* 100-ns units */
}

static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam, LPARAM lParam) {
  if (Message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(Window, Message, wParam, lParam);
}

static HWND Child(HWND Parent, const char* ClassName, const char* Text, DWORD Style, int X, int Y,
                  int Width, int Height, HFONT Font) {
  HWND child = CreateWindowExA(0, ClassName, Text, WS_CHILD | WS_VISIBLE | Style, X, Y, Width, Height,
                               Parent, NULL, GetModuleHandleA(NULL), NULL);
  SendMessageA(child, WM_SETFONT, (WPARAM)Font, FALSE);
  return child;
}

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE Previous, LPSTR CommandLine, int Show) {
  static const char* const buttons[ButtonCount] = {"Setup", "Edit", "Panic", "Quit"};
  FILETIME created, exited, kernel, user, entered, idle;
  WNDCLASSA windowClass = {0};
  HWND window;
  HFONT font;
  MSG message;
  int i;
  (void)Previous;
  (void)CommandLine;

  GetSystemTimePreciseAsFileTime(&entered);
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);

  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = Instance;
  windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
  windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "BareWindow";
  RegisterClassA(&windowClass);
  window = CreateWindowExA(0, "BareWindow", "Bare", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                           776, 410, NULL, NULL, Instance, NULL);
  font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
  for (i = 0; i < ComboCount; ++i) {
    const int x = 8 + ColumnWidth * (i / RowsPerColumn);
    const int y = 8 + RowHeight * (i % RowsPerColumn);
    char caption[8];
    HWND combo;
    sprintf(caption, "%d", i);
    Child(window, "STATIC", caption, SS_LEFT, x, y + 3, 24, 16, font);
    combo = Child(window, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, x + 32, y, 328,
                  200, font);
    SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM) "Microsoft GS Wavetable Synth");
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
  }
  for (i = 0; i < ButtonCount; ++i)
    Child(window, "BUTTON", buttons[i], WS_TABSTOP | BS_PUSHBUTTON, 8 + 96 * i, 8 + RowHeight * RowsPerColumn,
          88, 24, font);
  ShowWindow(window, Show);
  UpdateWindow(window);

  for (;;) {
    if (!PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) break; /* the first idle moment */
    if (message.message == WM_QUIT) return 1;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  GetSystemTimePreciseAsFileTime(&idle);
  printf("process-start-to-main %.1f process-start-to-first-idle %.1f main-to-first-idle %.1f\n",
         MillisecondsBetween(created, entered), MillisecondsBetween(created, idle),
         MillisecondsBetween(entered, idle));
  fflush(stdout);
  DestroyWindow(window);
  return 0;
}
