// The common part of every control: it owns its window, knows its bounds
// relative to its parent, its font (the form's unless it has its own) and a
// tag, and receives the notifications that its parent hands over. The window
// is subclassed, so a control can see its own messages too.
#pragma once

#include <string>

#include <windows.h>

#include "platform/win32/Handle.h"
#include "ui/controls/Font.h"
#include "ui/controls/Geometry.h"
#include "ui/controls/Parent.h"

struct TControlArgs {
  TParent Parent;
  TRect Bounds;
  std::string Caption;
};

class TControl {
 public:
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  HWND Handle() const { return FWindow.Get(); }
  TForm& Form() const { return *FParent.Form; }
  int Id() const { return FId; }

  int Tag = 0;

  // Bounds in design units (ui/controls/Dpi.h), relative to the parent.
  int Left() const { return FBounds.Left; }
  int Top() const { return FBounds.Top; }
  int Width() const;
  int Height() const;
  TRect Bounds() const { return {Left(), Top(), Width(), Height()}; }
  void SetBounds(const TRect& Bounds);
  void SetLeft(int Left);
  void SetTop(int Top);
  void SetHeight(int Height);

  bool Enabled() const;
  void SetEnabled(bool Enable);
  bool Visible() const;
  void SetVisible(bool Visible);
  void SetFocus();

  std::string Caption() const;
  void SetCaption(const std::string& Text);

  // A control uses its form's font until it is given one of its own.
  const TFont& Font() const { return FFont; }
  void SetFont(const TFont& Font);
  void ParentFontChanged(const TFont& Font, HFONT Handle);
  // For a control placed or sized by the system (a page in its tab
  // control's area, a label at its text): the window gets exactly these
  // pixels (relative to the parent's client area), its bounds the design
  // units of them.
  void SetPixelBounds(const RECT& Pixels);

  // The form's density changed: the window goes to its bounds in the new
  // pixels, and an own font is made again for it.
  void DpiChanged();

  // The control whose window this is, or nullptr for a window we don't own.
  static TControl* FromHandle(HWND Window);

  // Hands a notification that a parent window received to the control that
  // sent it. True when a control took it; Result is then the answer.
  static bool DispatchNotification(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result);

 protected:
  struct TWindowClass {
    const char* ClassName;
    DWORD Style;
    DWORD ExStyle = 0;
  };
  TControl(const TControlArgs& Args, const TWindowClass& WindowClass);

  // Notifications from the parent: WM_COMMAND codes and WM_NOTIFY records.
  virtual void Command(WORD /*code*/) {}
  virtual bool Notify(NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
  // WM_CTLCOLOR*: the brush for the background, with text colours set.
  virtual HBRUSH CtlColor(HDC DC);
  // The control's own messages; true when handled (the result in Result).
  virtual bool HandleMessage(UINT /*message*/, WPARAM, LPARAM, LRESULT& /*Result*/) {
    return false;
  }
  virtual void FontChanged() {}
  void SetPixelSize(int Width, int Height);

  LRESULT DefaultMessage(UINT Message, WPARAM wParam, LPARAM lParam);
  const TParent& Parent() const { return FParent; }

 private:
  // Stands in front of the window's own procedure (see Control.cpp).
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  void ApplyFontHandle(HFONT FontHandle);
  bool Occupies(const TRect& Bounds) const;  // the window stands exactly there
  void MoveWindowTo(const TRect& Bounds);
  RECT PixelRect() const;  // where the window stands in its parent's client area

  TParent FParent;
  TRect FBounds;
  int FId;
  TFont FFont;
  bool FParentFont = true;
  TFontHandle FOwnFontHandle;
  // Last, so the window goes before the font it uses.
  TWindowHandle FWindow;
};
