#include "ui/controls/Control.h"

#include <unordered_map>

#include "engine/Exceptions.h"
#include "ui/controls/Application.h"
#include "ui/controls/Form.h"

namespace {

// Control identifiers start well above IDOK and IDCANCEL, which the dialog
// keys send to the form, and below the popup menus' command numbers.
int NextControlId = 1000;

// Each control's window leads here to its control and to the window
// procedure the control's own one stands in front of. Kept in the process,
// not in window properties: under Wine every property look-up is a round
// trip to the server, and a subclassed window looks its property up on
// every message it gets. The entry outlives the control until the window's
// last message, which still goes to the procedure it had.
struct TSubclass {
  TControl* Control;
  WNDPROC Previous;
};
// Main thread only: the windows are created there and get their messages
// there.
std::unordered_map<HWND, TSubclass>& Subclasses() {
  static std::unordered_map<HWND, TSubclass> subclasses;
  return subclasses;
}

}  // namespace

TControl::TControl(const TControlArgs& Args, const TWindowClass& WindowClass)
    : FParent(Args.Parent), FBounds(Args.Bounds), FId(NextControlId++) {
  const TForm& form = *FParent.Form;
  FWindow.Reset(CreateWindowExA(WindowClass.ExStyle, WindowClass.ClassName, Args.Caption.c_str(),
                                WindowClass.Style | WS_CHILD, form.Scale(FParent.Origin.x + FBounds.Left),
                                form.Scale(FParent.Origin.y + FBounds.Top), form.Scale(FBounds.Width),
                                form.Scale(FBounds.Height),
                                FParent.Window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(FId)),
                                GetModuleHandleA(nullptr), nullptr));
  if (!FWindow) throw Exception(std::string("Cannot create a window of class ") + WindowClass.ClassName);
  Subclasses()[Handle()] = {this, reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                                       Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc)))};
  FFont = Form().Font();
  ApplyFontHandle(Form().FontHandle());
  Form().AddControl(*this);
}

TControl::~TControl() {
  Form().RemoveControl(*this);
  // The window, which goes next, gets its last messages without us.
  const auto found = Subclasses().find(Handle());
  if (found != Subclasses().end()) found->second.Control = nullptr;
}

TControl* TControl::FromHandle(HWND Window) {
  const auto found = Subclasses().find(Window);
  return found == Subclasses().end() ? nullptr : found->second.Control;
}

bool TControl::DispatchNotification(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result) {
  switch (Message) {
    case WM_COMMAND:
      if (TControl* control = FromHandle(reinterpret_cast<HWND>(lParam))) {
        control->Command(HIWORD(wParam));
        Result = 0;
        return true;
      }
      return false;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (TControl* control = FromHandle(header->hwndFrom)) return control->Notify(*header, Result);
      return false;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      if (TControl* control = FromHandle(reinterpret_cast<HWND>(lParam))) {
        if (HBRUSH brush = control->CtlColor(reinterpret_cast<HDC>(wParam))) {
          Result = reinterpret_cast<LRESULT>(brush);
          return true;
        }
      }
      return false;
    default:
      return false;
  }
}

LRESULT CALLBACK TControl::WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                      LPARAM lParam) noexcept {
  const auto found = Subclasses().find(Window);
  if (found == Subclasses().end()) return DefWindowProcA(Window, Message, wParam, lParam);
  // A copy: the handler may create controls, which changes the table.
  const TSubclass subclass = found->second;
  if (Message == WM_NCDESTROY) {
    Subclasses().erase(found);
    // The window goes (with its parent, or on its own): the control keeps no
    // handle to it, so nothing destroys it again or reaches a window that
    // reuses its handle, whatever order the members of a form go in.
    if (subclass.Control) subclass.Control->FWindow.Release();
    return CallWindowProcA(subclass.Previous, Window, Message, wParam, lParam);
  }
  if (subclass.Control) {
    try {
      LRESULT result = 0;
      if (subclass.Control->HandleMessage(Message, wParam, lParam, result)) return result;
    } catch (const std::exception& error) {
      HandleUiException(error);
      return 0;
    }
  }
  return CallWindowProcA(subclass.Previous, Window, Message, wParam, lParam);
}

LRESULT TControl::DefaultMessage(UINT Message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(Subclasses().at(Handle()).Previous, Handle(), Message, wParam, lParam);
}

HBRUSH TControl::CtlColor(HDC DC) {
  SetTextColor(DC, ColorToRGB(FFont.Color));
  SetBkColor(DC, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

RECT TControl::PixelRect() const {
  RECT r{};
  GetWindowRect(Handle(), &r);
  MapWindowPoints(nullptr, FParent.Window, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Sizes are read from the window, which may have sized itself.
int TControl::Width() const {
  const RECT r = PixelRect();
  return Form().Unscale(r.right - r.left);
}

int TControl::Height() const {
  const RECT r = PixelRect();
  return Form().Unscale(r.bottom - r.top);
}

// A size equal to the window's own in design units keeps the window's
// pixels: scaled back, a size the window chose (a label's text, a combo
// box's font) could come out a pixel short and cut its text off.
static int PixelExtent(const TForm& Form, int DesignUnits, int CurrentPixels) {
  return Form.Unscale(CurrentPixels) == DesignUnits ? CurrentPixels : Form.Scale(DesignUnits);
}

void TControl::MoveWindowTo(const TRect& Bounds) {
  const TForm& form = Form();
  const RECT r = PixelRect();
  SetWindowPos(Handle(), nullptr, form.Scale(FParent.Origin.x + Bounds.Left), form.Scale(FParent.Origin.y + Bounds.Top),
               PixelExtent(form, Bounds.Width, r.right - r.left), PixelExtent(form, Bounds.Height, r.bottom - r.top),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TControl::Occupies(const TRect& Bounds) const {
  const TForm& form = Form();
  const RECT r = PixelRect();
  return r.left == form.Scale(FParent.Origin.x + Bounds.Left) && r.top == form.Scale(FParent.Origin.y + Bounds.Top) &&
         form.Unscale(r.right - r.left) == Bounds.Width && form.Unscale(r.bottom - r.top) == Bounds.Height;
}

void TControl::SetBounds(const TRect& Bounds) {
  FBounds = Bounds;
  // A move to where the window already stands would still be a round trip
  // to the display (and a repaint, once the window is on screen).
  if (!Occupies(Bounds)) MoveWindowTo(Bounds);
}

void TControl::SetPixelBounds(const RECT& Pixels) {
  const TForm& form = Form();
  const int width = Pixels.right - Pixels.left;
  const int height = Pixels.bottom - Pixels.top;
  FBounds = {form.Unscale(Pixels.left) - FParent.Origin.x, form.Unscale(Pixels.top) - FParent.Origin.y,
             form.Unscale(width), form.Unscale(height)};
  const RECT r = PixelRect();
  if (r.left == Pixels.left && r.top == Pixels.top && r.right == Pixels.right && r.bottom == Pixels.bottom) return;
  SetWindowPos(Handle(), nullptr, Pixels.left, Pixels.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetPixelSize(int Width, int Height) {
  const TForm& form = Form();
  const int left = form.Scale(FParent.Origin.x + FBounds.Left);
  const int top = form.Scale(FParent.Origin.y + FBounds.Top);
  const TRect designed = FBounds;
  SetPixelBounds({left, top, left + Width, top + Height});
  // The position stays as designed, not as read back from the pixels.
  FBounds.Left = designed.Left;
  FBounds.Top = designed.Top;
}

void TControl::DpiChanged() {
  const TForm& form = Form();
  SetWindowPos(Handle(), nullptr, form.Scale(FParent.Origin.x + FBounds.Left), form.Scale(FParent.Origin.y + FBounds.Top),
               form.Scale(FBounds.Width), form.Scale(FBounds.Height), SWP_NOZORDER | SWP_NOACTIVATE);
  if (FParentFont) return;
  TFontHandle handle(CreateFontHandle(FFont, form.Dpi()));
  ApplyFontHandle(handle.Get());
  FOwnFontHandle = std::move(handle);
}

void TControl::SetLeft(int Left) { SetBounds({Left, FBounds.Top, Width(), Height()}); }
void TControl::SetTop(int Top) { SetBounds({FBounds.Left, Top, Width(), Height()}); }
void TControl::SetHeight(int Height) { SetBounds({FBounds.Left, FBounds.Top, Width(), Height}); }

bool TControl::Enabled() const { return IsWindowEnabled(Handle()) != FALSE; }

void TControl::SetEnabled(bool Enable) {
  if (Enabled() != Enable) EnableWindow(Handle(), Enable ? TRUE : FALSE);
}

bool TControl::Visible() const { return (GetWindowLongA(Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }

void TControl::SetVisible(bool Visible) { ShowWindow(Handle(), Visible ? SW_SHOWNA : SW_HIDE); }

void TControl::SetFocus() { ::SetFocus(Handle()); }

std::string TControl::Caption() const {
  const int length = GetWindowTextLengthA(Handle());
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(Handle(), text.data(), length + 1)));
  return text;
}

void TControl::SetCaption(const std::string& Text) {
  if (Text == Caption()) return;
  SetWindowTextA(Handle(), Text.c_str());
  FontChanged();  // a caption that sizes the control needs the same re-measuring
}

void TControl::SetFont(const TFont& Font) {
  if (!FParentFont && Font == FFont) return;
  FParentFont = false;
  FFont = Font;
  // The window takes the new handle before the old one is deleted.
  TFontHandle handle(CreateFontHandle(Font, Form().Dpi()));
  ApplyFontHandle(handle.Get());
  FOwnFontHandle = std::move(handle);
}

void TControl::ParentFontChanged(const TFont& Font, HFONT Handle) {
  if (!FParentFont) return;
  FFont = Font;
  ApplyFontHandle(Handle);
}

void TControl::ApplyFontHandle(HFONT FontHandle) {
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle), TRUE);
  FontChanged();
}
