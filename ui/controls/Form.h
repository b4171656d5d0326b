// A top-level window of the program. The form stores `this` in the window's
// user data at WM_NCCREATE and forwards every message to HandleMessage.
// Closing a form hides it (closing the main form ends the program); a form is
// destroyed only with its object. It snaps to the screen edges while the user
// drags it, has default and cancel buttons for Enter and Esc, a context menu
// whose shortcuts work anywhere inside it, and one font that every control
// without a font of its own follows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/win32/Handle.h"
#include "ui/controls/Dpi.h"
#include "ui/controls/Font.h"
#include "ui/controls/Parent.h"

class TButton;
class TControl;
class TPopupMenu;
class TToolTip;

enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
};

enum class TFormBorder {
  Single,  // fixed single border: system menu and minimise box
  Dialog,  // fixed dialog border: close box only
};

enum class TFormPlacement {
  Designed,      // where the program puts it
  Default,       // where the system puts new windows
  ScreenCenter,  // centred on the screen when first shown
};

struct TFormArgs {
  std::string Caption;
  int ClientWidth = 0;
  int ClientHeight = 0;
  TFormBorder Border = TFormBorder::Single;
  TFormPlacement Placement = TFormPlacement::Designed;
  TFont Font;
  HWND Owner = nullptr;
};

class TForm {
 public:
  explicit TForm(const TFormArgs& Args);
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return FWindow.Get(); }
  TParent AsParent() { return {Handle(), {0, 0}, this}; }
  static TForm* FromHandle(HWND Window);

  void Show();  // modeless
  int ShowModal();
  void Hide();
  void Close();  // as the close box: hides, ends a modal showing, or ends the program
  bool Visible() const;
  bool Modal() const { return FModal; }
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int Result) { FModalResult = Result; }

  // The density the window is shown at, and design units in its pixels
  // and back.
  UINT Dpi() const { return FDpi; }
  int Scale(int DesignUnits) const { return ScaleToDpi(DesignUnits, FDpi); }
  int Unscale(int Pixels) const { return ScaleFromDpi(Pixels, FDpi); }

  // Screen position of the window's top left corner, in screen pixels.
  int Left() const;
  int Top() const;
  void SetPosition(int Left, int Top);
  // The client area in design units.
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientSize(int Width, int Height);
  std::string Caption() const;
  void SetCaption(const std::string& Text);

  const TFont& Font() const { return FFont; }
  HFONT FontHandle() const { return FFontHandle.Get(); }
  void SetFont(const TFont& Font);

  // Enter presses the default button while it is enabled; Esc presses the
  // cancel button.
  void SetDefaultButton(TButton* Button);
  void SetCancelButton(TButton* Button) { FCancelButton = Button; }
  void SetPopupMenu(TPopupMenu* Menu);
  HACCEL Accelerators() const;
  TToolTip& ToolTips();

  void AddControl(TControl& Control);
  void RemoveControl(TControl& Control);

 protected:
  virtual LRESULT HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam);
  // The client area changed size; forms with anchored controls move them.
  virtual void Resized() {}
  // The window was moved to a monitor of another density: the controls and
  // the font are scaled already; forms with layouts of their own redo them.
  virtual void DpiChanged() {}

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  static const char* WindowClassName();  // registered at the first call
  void SnapToWorkArea(WINDOWPOS& Position) const;
  void TakeDpi(UINT Dpi, const RECT& Suggested);
  void FocusFirstControl();

  // Set when the system creates the window; let go of unowned when the
  // system destroys it first.
  TWindowHandle FWindow;
  UINT FDpi = DesignDpi;
  TFont FFont;
  TFontHandle FFontHandle;
  TFormPlacement FPlacement;
  bool FShownOnce = false;
  bool FModal = false;
  bool FInSizeMove = false;
  int FModalResult = mrNone;
  TButton* FDefaultButton = nullptr;
  TButton* FCancelButton = nullptr;
  TPopupMenu* FPopupMenu = nullptr;
  HWND FLastFocus = nullptr;
  std::unique_ptr<TToolTip> FToolTips;
  std::vector<TControl*> FControls;  // in creation order; the controls unregister themselves
};
