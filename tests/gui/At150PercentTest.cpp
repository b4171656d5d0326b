// The windows on a screen of 144 dots per inch (150 %): every window lays
// itself out in its monitor's pixels, with every control inside its window
// and no caption cut off. CTest runs these in a prefix of that density
// (velmora_gui_tests_150_percent); elsewhere they are skipped.
#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "GuiDriver.h"
#include "Screenshot.h"
#include "VelmoraFixture.h"
#include "ui/controls/Dpi.h"

namespace {

constexpr UINT Dense = 144;

class At150Percent : public VelmoraWindows {
 protected:
  void SetUp() override {
    const char* expected = std::getenv("VELMORA_EXPECT_DPI");
    if (!expected || std::string(expected) != std::to_string(Dense))
      GTEST_SKIP() << "needs a screen of 144 dots per inch (VELMORA_EXPECT_DPI=144)";
    VelmoraWindows::SetUp();
  }
};

std::string ClassOf(HWND Window) {
  char name[64] = {};
  GetClassNameA(Window, name, sizeof name);
  return name;
}

std::string TextOf(HWND Window) {
  char text[256] = {};
  GetWindowTextA(Window, text, sizeof text);
  return text;
}

SIZE TextExtent(HWND Window, const std::string& Text) {
  const HDC dc = GetDC(Window);
  const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(Window, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32A(dc, Text.c_str(), static_cast<int>(Text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(Window, dc);
  return size;
}

// Where a window stands in the client area of another (its form, its parent).
RECT RectIn(HWND Window, HWND Other) {
  RECT r{};
  GetWindowRect(Window, &r);
  MapWindowPoints(nullptr, Other, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Every visible control lies inside the client area of its form and of its
// parent, and its caption fits the room the control gives it.
void ExpectLaidOutWhole(TForm& Form) {
  std::vector<HWND> controls;
  EnumChildWindows(Form.Handle(), [](HWND window, LPARAM list) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&controls));
  ASSERT_FALSE(controls.empty());
  for (const HWND control : controls) {
    if (!IsWindowVisible(control)) continue;
    const std::string kind = ClassOf(control), text = TextOf(control);
    SCOPED_TRACE(Form.Caption() + ": " + kind + " \"" + text + "\"");
    for (const HWND container : {Form.Handle(), GetParent(control)}) {
      RECT client{};
      GetClientRect(container, &client);
      const RECT r = RectIn(control, container);
      EXPECT_GE(r.left, 0);
      EXPECT_GE(r.top, 0);
      EXPECT_LE(r.right, client.right);
      EXPECT_LE(r.bottom, client.bottom);
    }
    RECT room{};
    GetClientRect(control, &room);
    if (kind == "ComboBox") {
      COMBOBOXINFO info{};
      info.cbSize = sizeof info;
      GetComboBoxInfo(control, &info);
      room = info.rcItem;  // the selection's field, beside the arrow
    } else if (kind == "Button" && (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) {
      room.right -= 16;  // the frame's corners on either side of the caption
    } else if (kind == "Button") {
      InflateRect(&room, -2, -2);  // the button's own edge
    }
    if (kind == "Edit" || kind == "msctls_updown32" || text.empty()) continue;
    const SIZE extent = TextExtent(control, text);
    EXPECT_LE(extent.cx, room.right - room.left) << "caption cut off at the side";
    EXPECT_LE(extent.cy, room.bottom - room.top) << "caption cut off at the top or bottom";
  }
  // The tabs' captions fit their tabs.
  EnumChildWindows(Form.Handle(), [](HWND window, LPARAM) -> BOOL {
    if (ClassOf(window) != WC_TABCONTROLA) return TRUE;
    const int count = static_cast<int>(SendMessageA(window, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char caption[32] = {};
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = caption;
      item.cchTextMax = sizeof caption;
      SendMessageA(window, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      RECT tab{};
      SendMessageA(window, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab));
      EXPECT_LE(TextExtent(window, caption).cx, tab.right - tab.left) << caption;
    }
    return TRUE;
  }, 0);
}

}  // namespace

TEST_F(At150Percent, EveryWindowIsScaledWithEveryControlInsideAndNoCaptionCutOff) {
  sim::SetOutputDevices({{"Virtual Synth A"}, {"Virtual Synth B with a longer name"}});
  StartProgram();
  ASSERT_EQ(WindowDpi(VelmoraForm->Handle()), Dense) << "the prefix's screen is not at 144 dots per inch";
  TVelmoraForm& main = *VelmoraForm;

  // Scaled by one and a half: the client area, the rows, the lamps, the font.
  RECT client{};
  GetClientRect(main.Handle(), &client);
  EXPECT_EQ(client.right, 1152);
  EXPECT_EQ(client.bottom, 564);
  const RECT row0 = RectIn(main.ChannelComboBoxes[0]->Handle(), main.Handle());
  const RECT row1 = RectIn(main.ChannelComboBoxes[1]->Handle(), main.Handle());
  const RECT row8 = RectIn(main.ChannelComboBoxes[8]->Handle(), main.Handle());
  EXPECT_EQ(row1.top - row0.top, 48) << "rows 32 design units apart";
  EXPECT_EQ(row8.left - row0.left, 564) << "columns 376 design units apart";
  EXPECT_EQ(row0.right - row0.left, 492) << "lists 328 design units wide";
  const RECT lamp = RectIn(main.ChannelLEDs[0]->Handle(), main.Handle());
  EXPECT_EQ(lamp.right - lamp.left, 11) << "lamps 7 design units wide";
  EXPECT_NEAR(lamp.bottom - lamp.top, (row0.bottom - row0.top) - 3, 1) << "lamps as high as the list's inside";
  EXPECT_EQ(row0.left - lamp.left, 12);
  TEXTMETRICA metrics{};
  {
    const HDC dc = GetDC(main.Handle());
    const HGDIOBJ old = SelectObject(dc, main.FontHandle());
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(main.Handle(), dc);
  }
  EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 18) << "12 pixels of character at 96 dpi";

  // Positions are stored in design units, as at 96 dpi.
  main.SetPosition(150, 300);
  EndProgram();
  EXPECT_EQ(ReadSetting("Velmora", "Left"), "100");
  EXPECT_EQ(ReadSetting("Velmora", "Top"), "200");
  StartProgram();
  EXPECT_EQ(VelmoraForm->Left(), 150);
  EXPECT_EQ(VelmoraForm->Top(), 300);

  VelmoraForm->Show();
  ExpectLaidOutWhole(*VelmoraForm);
  for (TTabSheet* page : {&OptionDialog->DelayTabSheet, &OptionDialog->MiscTabSheet}) {
    OptionDialog->OptionPageControl.SetActivePage(*page);
    OptionDialog->Show();
    ExpectLaidOutWhole(*OptionDialog);
  }
  OptionDialog->Hide();
  for (TForm* dialog : {static_cast<TForm*>(EditPresetsDialog), static_cast<TForm*>(RenamePresetDialog),
                        static_cast<TForm*>(VersionDialog)}) {
    dialog->Show();
    ExpectLaidOutWhole(*dialog);
    dialog->Hide();
  }

  if (!ScreenshotFolder().empty()) {
    // Below where the tests at 96 dpi, which may run meanwhile on the same
    // display, put their windows.
    VelmoraForm->SetPosition(40, 420);
    SetWindowPos(VelmoraForm->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(VelmoraForm->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    gui::Pump();
    Sleep(200);  // the X server shows what Wine drew
    gui::Pump();
    EXPECT_TRUE(SaveScreenshot(VelmoraForm->Handle(), "main-window-150-percent"));
  }
}
