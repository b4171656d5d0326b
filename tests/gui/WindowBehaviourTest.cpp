// Behaviour the windows share through the control layer: the lamp, snapping
// to the screen edges, the version dialog's links, the title bar's buttons.
#include "GuiDriver.h"
#include "VelmoraFixture.h"

TEST_F(VelmoraWindows, ANewLampIsSevenByTwentyTwoAndDarkRed) {
  StartProgram();
  TLED lamp(VelmoraForm->AsParent(), 0, 0);
  EXPECT_EQ(lamp.Width(), 7);
  EXPECT_EQ(lamp.Height(), 22);
  EXPECT_EQ(lamp.State(), mpsClosed);
  EXPECT_EQ(lamp.BrushColor(), clMaroon);
  const struct {
    TMidiPortState state;
    TColor color;
  } colours[] = {{mpsOpening, clGreen}, {mpsOpen, clLime}, {mpsClosing, clRed}, {mpsClosed, clMaroon}};
  for (const auto& c : colours) {
    lamp.SetState(c.state);
    EXPECT_EQ(lamp.BrushColor(), c.color);
  }
}

// A control whose window goes first (with its parent, or destroyed by the
// system) keeps no handle to it: its destructor then destroys nothing, which
// might by then be another window that got the same handle.
TEST_F(VelmoraWindows, AControlHoldsNoHandleOnceItsWindowIsDestroyed) {
  StartProgram();
  TLED lamp(VelmoraForm->AsParent(), 0, 0);
  const HWND window = lamp.Handle();
  ASSERT_TRUE(IsWindow(window));
  DestroyWindow(window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(lamp.Handle(), nullptr);
}

TEST_F(VelmoraWindows, WindowsSnapToTheScreenEdgesOnlyWhileTheUserDragsThem) {
  StartProgram();
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  for (TForm* form : {static_cast<TForm*>(VelmoraForm), static_cast<TForm*>(OptionDialog)}) {
    HWND window = form->Handle();
    form->Show();
    // Dragged to within a few pixels of the top left corner: it snaps.
    SendMessageA(window, WM_ENTERSIZEMOVE, 0, 0);
    SetWindowPos(window, nullptr, area.left + 6, area.top + 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(form->Left(), area.left);
    EXPECT_EQ(form->Top(), area.top);
    // Farther off it stays where it was dropped.
    SendMessageA(window, WM_ENTERSIZEMOVE, 0, 0);
    SetWindowPos(window, nullptr, area.left + 30, area.top + 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(form->Left(), area.left + 30);
    // Placed by the program (a stored position), it is not moved.
    form->SetPosition(area.left + 3, area.top + 3);
    EXPECT_EQ(form->Left(), area.left + 3);
  }
}

TEST_F(VelmoraWindows, VersionDialogLinksTurnRedUnderTheMouse) {
  StartProgram();
  EXPECT_EQ(VersionDialog->VersionLabel.Caption(), "Version 0.9.0");
  EXPECT_EQ(VersionDialog->Caption(), "Velmora - Version Information");
  for (TLabel* link : {&VersionDialog->HomeLabel, &VersionDialog->MailLabel}) {
    EXPECT_EQ(link->Font().Color, clBlue);
    EXPECT_TRUE(link->Font().Style & fsUnderline);
    SendMessageA(link->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(link->Font().Color, clRed);
    SendMessageA(link->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 2));  // still inside: no change
    EXPECT_EQ(link->Font().Color, clRed);
    SendMessageA(link->Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(link->Font().Color, clBlue);
  }
  // The version dialog keeps its own font when the user's font changes.
  TFont font = *VelmoraForm->UIFont;
  font.SetSize(14);
  VelmoraForm->OptionDialogFontChange(*OptionDialog, font);
  EXPECT_EQ(VersionDialog->Font().Name, "Times New Roman");
  EXPECT_EQ(VersionDialog->HomeLabel.Font().Name, "Courier New");
}

TEST_F(VelmoraWindows, TheTitleBarButtonsFindTheSymbolFontTheyAreDrawnWith) {
  // The system draws the minimise, maximise and close glyphs as the letters
  // "0", "1" and "r" of Marlett: a system without the face draws letters.
  LOGFONTA wanted{};
  wanted.lfHeight = -13;
  wanted.lfCharSet = SYMBOL_CHARSET;
  lstrcpyA(wanted.lfFaceName, "Marlett");
  const HFONT font = CreateFontIndirectA(&wanted);
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  char face[LF_FACESIZE] = {};
  GetTextFaceA(dc, sizeof face, face);
  WORD glyphs[3] = {};
  const DWORD mapped = GetGlyphIndicesA(dc, "01r", 3, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  EXPECT_STREQ(face, "Marlett");
  ASSERT_EQ(mapped, 3u);
  for (WORD glyph : glyphs) EXPECT_NE(glyph, 0xFFFF) << "a caption button's glyph is missing";
}
