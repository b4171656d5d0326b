#include "ui/controls/Form.h"

#include <algorithm>
#include <cstdlib>

#include "engine/Exceptions.h"
#include "platform/win32/WindowClass.h"
#include "ui/controls/DisabledWindows.h"
#include "ui/controls/Application.h"
#include "ui/controls/Button.h"
#include "ui/controls/Control.h"
#include "ui/controls/PopupMenu.h"
#include "ui/controls/ToolTip.h"

namespace {

constexpr char FormClassName[] = "VelmoraForm";
constexpr int SnapDistance = 10;  // pixels from a screen edge at which a dragged window snaps
constexpr int ProgramIconId = 1;

DWORD StyleFor(TFormBorder Border) {
  // No WS_CLIPCHILDREN: a group box paints only its frame, so the form must
  // paint the background beneath it.
  const DWORD common = WS_CAPTION | WS_SYSMENU;
  return Border == TFormBorder::Single ? common | WS_MINIMIZEBOX : common;
}

DWORD ExStyleFor(TFormBorder Border) {
  return Border == TFormBorder::Dialog ? WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT
                                       : WS_EX_CONTROLPARENT;
}

RECT WorkAreaOf(HWND Window) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoA(MonitorFromWindow(Window, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

}  // namespace

const char* TForm::WindowClassName() {
  static const char* const name = [] {
    WNDCLASSEXA windowClass = BasicWindowClass(FormClassName);
    const HINSTANCE instance = windowClass.hInstance;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(ProgramIconId));
    if (!windowClass.hIcon) windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(ProgramIconId),
                                                        IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    return RegisterWindowClass(windowClass, "Cannot register the window class.");
  }();
  return name;
}

TForm::TForm(const TFormArgs& Args) : FDpi(SystemDpi()), FFont(Args.Font), FPlacement(Args.Placement) {
  const int position = Args.Placement == TFormPlacement::Default ? CW_USEDEFAULT : 0;
  // Created at the outer size the client area needs, so that SetClientSize
  // below only corrects for a window manager's own frames: every move of a
  // top-level window is a round trip to the display. A new window stands on
  // the monitor of the system's density until it is placed.
  RECT frame{0, 0, Scale(Args.ClientWidth), Scale(Args.ClientHeight)};
  AdjustWindowRectEx(&frame, StyleFor(Args.Border), FALSE, ExStyleFor(Args.Border));
  CreateWindowExA(ExStyleFor(Args.Border), WindowClassName(), Args.Caption.c_str(),
                  StyleFor(Args.Border), position, position, frame.right - frame.left,
                  frame.bottom - frame.top, Args.Owner, nullptr, GetModuleHandleA(nullptr), this);
  if (!FWindow) throw Exception("Cannot create the window " + Args.Caption + ".");
  FDpi = WindowDpi(Handle());
  FFontHandle.Reset(CreateFontHandle(FFont, FDpi));
  SetClientSize(Args.ClientWidth, Args.ClientHeight);
  if (Application) Application->FormCreated(*this);
}

TForm::~TForm() {
  if (Application) Application->FormDestroyed(*this);
  FToolTips.reset();
  // The controls are members of the derived form and are gone by now; the
  // window goes before the font it uses.
  FWindow.Reset();
}

TForm* TForm::FromHandle(HWND Window) {
  if (!Window) return nullptr;
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(Window, GWLP_WNDPROC)) != WindowProc)
    return nullptr;
  return reinterpret_cast<TForm*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
}

LRESULT CALLBACK TForm::WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                   LPARAM lParam) noexcept {
  if (Message == WM_NCCREATE) {
    auto* form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    form->FWindow.Reset(Window);
    SetWindowLongPtrA(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
  if (!form) return DefWindowProcA(Window, Message, wParam, lParam);
  if (Message == WM_NCDESTROY) {
    SetWindowLongPtrA(Window, GWLP_USERDATA, 0);
    form->FWindow.Release();  // being destroyed already
    return DefWindowProcA(Window, Message, wParam, lParam);
  }
  try {
    return form->HandleMessage(Message, wParam, lParam);
  } catch (const std::exception& error) {
    HandleUiException(error);
    return 0;
  }
}

LRESULT TForm::HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (TControl::DispatchNotification(Message, wParam, lParam, result)) return result;
  switch (Message) {
    case WM_COMMAND:
      if (lParam == 0 || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        const WORD id = LOWORD(wParam);
        if (id == IDCANCEL) {
          if (FCancelButton && FCancelButton->Enabled()) FCancelButton->Click();
        } else if (id == IDOK) {
          if (FDefaultButton && FDefaultButton->Enabled()) FDefaultButton->Click();
        } else if (FPopupMenu) {
          FPopupMenu->Execute(id);
        }
        return 0;
      }
      break;
    case DM_GETDEFID:
      if (FDefaultButton) return MAKELONG(FDefaultButton->Id(), DC_HASDEFID);
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ENDSESSION:
      if (wParam && Application && Application->MainForm() == this && Application->OnEndSession) {
        const auto endSession = Application->OnEndSession;
        endSession();  // does not return
      }
      return 0;
    case WM_CONTEXTMENU:
      if (FPopupMenu) {
        POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (lParam == -1) {  // from the keyboard: at the window's top left corner
          RECT r{};
          GetWindowRect(Handle(), &r);
          at = {r.left + 8, r.top + 8};
        }
        FPopupMenu->Popup(Handle(), at);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus && IsChild(Handle(), focus)) FLastFocus = focus;
      } else if (FLastFocus && IsWindow(FLastFocus) && IsChild(Handle(), FLastFocus) &&
                 IsWindowVisible(FLastFocus) && IsWindowEnabled(FLastFocus)) {
        ::SetFocus(FLastFocus);
      } else {
        FocusFirstControl();
      }
      return 0;
    case WM_ENTERSIZEMOVE:
      FInSizeMove = true;
      break;
    case WM_EXITSIZEMOVE:
      FInSizeMove = false;
      break;
    case WM_WINDOWPOSCHANGING:
      if (FInSizeMove) SnapToWorkArea(*reinterpret_cast<WINDOWPOS*>(lParam));
      break;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) Resized();
      break;
    case WM_DPICHANGED:
      TakeDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(Handle(), Message, wParam, lParam);
}

void TForm::SnapToWorkArea(WINDOWPOS& Position) const {
  if (Position.flags & SWP_NOMOVE) return;
  RECT current{};
  GetWindowRect(Handle(), &current);
  const int width = (Position.flags & SWP_NOSIZE) ? current.right - current.left : Position.cx;
  const int height = (Position.flags & SWP_NOSIZE) ? current.bottom - current.top : Position.cy;
  const RECT area = WorkAreaOf(Handle());
  if (std::abs(Position.x - area.left) < SnapDistance)
    Position.x = area.left;
  else if (std::abs(Position.x + width - area.right) < SnapDistance)
    Position.x = area.right - width;
  if (std::abs(Position.y - area.top) < SnapDistance)
    Position.y = area.top;
  else if (std::abs(Position.y + height - area.bottom) < SnapDistance)
    Position.y = area.bottom - height;
}

void TForm::FocusFirstControl() {
  for (TControl* control : FControls) {
    const HWND window = control->Handle();
    if ((GetWindowLongA(window, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(window) &&
        IsWindowEnabled(window)) {
      ::SetFocus(window);
      return;
    }
  }
  ::SetFocus(Handle());
}

void TForm::Show() {
  if (FPlacement == TFormPlacement::ScreenCenter && !FShownOnce) {
    RECT r{};
    GetWindowRect(Handle(), &r);
    const RECT area = WorkAreaOf(Handle());
    SetPosition(area.left + (area.right - area.left - (r.right - r.left)) / 2,
                area.top + (area.bottom - area.top - (r.bottom - r.top)) / 2);
  }
  FShownOnce = true;
  if (FToolTips) FToolTips->FormShowing();
  ShowWindow(Handle(), IsIconic(Handle()) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(Handle());
}

int TForm::ShowModal() {
  FModal = true;
  FModalResult = mrNone;
  {
    TDisabledWindows others(Handle());
    Show();
    while (FModalResult == mrNone && Application && !Application->Terminated())
      Application->HandleMessage();
    // The others are enabled again before this one hides, so that the
    // system gives the activation back to one of them.
  }
  Hide();
  FModal = false;
  return FModalResult;
}

void TForm::Hide() { ShowWindow(Handle(), SW_HIDE); }

void TForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
  } else if (Application && Application->MainForm() == this) {
    Application->Terminate();
  } else {
    Hide();
  }
}

bool TForm::Visible() const { return IsWindowVisible(Handle()) != FALSE; }

namespace {

// Where the window stands, also while it is minimised (its real rectangle
// then lies far off the screen).
RECT NormalWindowRect(HWND Window) {
  RECT r{};
  if (!IsIconic(Window)) {
    GetWindowRect(Window, &r);
    return r;
  }
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(Window, &placement);
  r = placement.rcNormalPosition;  // work-area coordinates
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoA(MonitorFromRect(&r, MONITOR_DEFAULTTOPRIMARY), &info);
  OffsetRect(&r, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
  return r;
}

}  // namespace

int TForm::Left() const { return NormalWindowRect(Handle()).left; }
int TForm::Top() const { return NormalWindowRect(Handle()).top; }

void TForm::SetPosition(int Left, int Top) {
  SetWindowPos(Handle(), nullptr, Left, Top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

SIZE ClientPixels(HWND Window) {
  RECT r{};
  GetClientRect(Window, &r);
  return {r.right, r.bottom};
}

}  // namespace

int TForm::ClientWidth() const { return Unscale(ClientPixels(Handle()).cx); }

int TForm::ClientHeight() const { return Unscale(ClientPixels(Handle()).cy); }

void TForm::SetClientSize(int DesignWidth, int DesignHeight) {
  const int width = Scale(DesignWidth);
  const int height = Scale(DesignHeight);
  if (ClientPixels(Handle()).cx == width && ClientPixels(Handle()).cy == height) return;
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(Handle(), GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(Handle(), GWL_EXSTYLE)));
  int outerWidth = frame.right - frame.left;
  int outerHeight = frame.bottom - frame.top;
  SetWindowPos(Handle(), nullptr, 0, 0, outerWidth, outerHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // A window manager may draw frames of its own size; measure and correct.
  const SIZE client = ClientPixels(Handle());
  outerWidth += width - client.cx;
  outerHeight += height - client.cy;
  if (client.cx != width || client.cy != height)
    SetWindowPos(Handle(), nullptr, 0, 0, outerWidth, outerHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string TForm::Caption() const {
  char text[256] = {};
  GetWindowTextA(Handle(), text, sizeof text);
  return text;
}

void TForm::SetCaption(const std::string& Text) { SetWindowTextA(Handle(), Text.c_str()); }

void TForm::SetFont(const TFont& Font) {
  // The same font again (the stored font is usually the designed one) would
  // only make every control measure and lay itself out once more.
  if (Font == FFont) return;
  FFont = Font;
  // The controls take the new handle before the old one is deleted.
  TFontHandle handle(CreateFontHandle(Font, FDpi));
  for (TControl* control : FControls) control->ParentFontChanged(FFont, handle.Get());
  FFontHandle = std::move(handle);
}

void TForm::TakeDpi(UINT Dpi, const RECT& Suggested) {
  const int designWidth = ClientWidth();
  const int designHeight = ClientHeight();
  FDpi = Dpi;
  SetWindowPos(Handle(), nullptr, Suggested.left, Suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  // Every control to its place in the new pixels, then the font of the new
  // density, which the controls that size themselves by it measure again.
  for (TControl* control : FControls) control->DpiChanged();
  TFontHandle handle(CreateFontHandle(FFont, FDpi));
  for (TControl* control : FControls) control->ParentFontChanged(FFont, handle.Get());
  FFontHandle = std::move(handle);
  SetClientSize(designWidth, designHeight);
  DpiChanged();
}

void TForm::SetDefaultButton(TButton* Button) {
  if (FDefaultButton) FDefaultButton->SetDefaultLook(false);
  FDefaultButton = Button;
  if (FDefaultButton) FDefaultButton->SetDefaultLook(true);
}

void TForm::SetPopupMenu(TPopupMenu* Menu) { FPopupMenu = Menu; }

HACCEL TForm::Accelerators() const { return FPopupMenu ? FPopupMenu->Accelerators() : nullptr; }

TToolTip& TForm::ToolTips() {
  if (!FToolTips) FToolTips = std::make_unique<TToolTip>(Handle());
  return *FToolTips;
}

void TForm::AddControl(TControl& Control) { FControls.push_back(&Control); }

void TForm::RemoveControl(TControl& Control) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), &Control), FControls.end());
}
