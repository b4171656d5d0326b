#include "ui/LED.h"

#include <algorithm>
#include <string>

#include "engine/VelmoraEngine.h"

#include "platform/win32/WindowClass.h"
#include "ui/controls/Form.h"
#include "ui/controls/ToolTip.h"

namespace {
constexpr TColor LostOrange = 0x00A5FF;  // $00BBGGRR
}  // namespace

const std::array<TColor, 5> LEDColors = {clMaroon, clGreen, clLime, clRed, LostOrange};
const std::array<const char*, 5> LEDStateNames = {"closed", "opening", "open", "closing", "not answering"};

namespace {

const char* LedClassName() {
  // The default procedure: the control's subclass paints.
  static const char* const name =
      RegisterWindowClass(BasicWindowClass("VelmoraLED"), "Cannot register the lamp class.");
  return name;
}

}  // namespace

TLED::TLED(const TParent& Parent, int Left, int Top)
    : TControl({Parent, {Left, Top, 7, 22}, ""},
               {LedClassName(), WS_VISIBLE, WS_EX_NOPARENTNOTIFY}) {
  SetState(mpsClosed);
}

void TLED::SetState(TMidiPortState Value) {
  FState = Value;
  FBrushColor = LEDColors[std::min<std::size_t>(Value, LEDColors.size() - 1)];
  // Painted now, so the new colour is on screen before the caller goes on;
  // no other message is handled meanwhile, so no user action can start
  // another engine operation inside the one that changed the state.
  // A hidden lamp is painted whole when it is shown.
  if (!IsWindowVisible(Handle())) return;
  InvalidateRect(Handle(), nullptr, FALSE);
  UpdateWindow(Handle());
}

void TLED::SetActivity(const TActivityCounter* Counter) {
  if (Counter == FActivity) return;
  FActivity = Counter;
  // What the counter counted before is no activity of this lamp's.
  if (FActivity) FLastCount = FActivity->Count();
  if (!FLit) return;
  FLit = false;
  Repaint();
}

void TLED::FollowActivity(ULONGLONG NowMilliseconds) {
  bool lit = FLit;
  const std::uint32_t count = FActivity ? FActivity->Count() : FLastCount;
  if (count != FLastCount) {
    FLastCount = count;
    FLastMove = NowMilliseconds;
    lit = true;
  } else if (lit && NowMilliseconds - FLastMove >= FlickerMilliseconds) {
    lit = false;
  }
  if (lit == FLit) return;
  FLit = lit;
  if (FState == mpsOpen) Repaint();
}

TColor TLED::ShownColor() const { return FLit && FState == mpsOpen ? LEDFlickerColor : FBrushColor; }

void TLED::Repaint() {
  // Painted with the next WM_PAINT: the flicker never holds up the main
  // thread's other work, and the lamps that change in one poll are painted
  // together.
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TLED::SetHint(const std::string& Hint) {
  if (Hint == FHint) return;
  FHint = Hint;
  Form().ToolTips().Add(Handle(), Hint);
}

bool TLED::HandleMessage(UINT Message, WPARAM, LPARAM, LRESULT& Result) {
  switch (Message) {
    case WM_ERASEBKGND:
      Result = 1;  // painted whole in WM_PAINT
      return true;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(Handle(), &paint);
      Paint(dc);
      EndPaint(Handle(), &paint);
      Result = 0;
      return true;
    }
    default:
      return false;
  }
}

void TLED::Paint(HDC DC) {
  RECT client{};
  GetClientRect(Handle(), &client);
  FillRect(DC, &client, GetSysColorBrush(COLOR_BTNFACE));
  TBrushHandle brush(CreateSolidBrush(ColorToRGB(ShownColor())));
  TSelectObject selectedBrush(DC, brush.Get());
  TSelectObject selectedPen(DC, GetStockObject(BLACK_PEN));
  // Corners rounded with a quarter of the shorter side.
  const int shorter = std::min(client.right, client.bottom);
  RoundRect(DC, 0, 0, client.right, client.bottom, shorter / 4, shorter / 4);
}

// "Synth A (1.5): open", with what the row waits for, and how a device that
// stopped answering is taken back.
std::string LampHint(const std::string& Device, TMidiPortState State, const std::string& Waiting) {
  std::string hint = Device + ": " + LEDStateNames[std::min<std::size_t>(State, LEDStateNames.size() - 1)];
  if (State == mpsLost)
    hint += ", tried again every " +
            std::to_string(static_cast<int>(TVelmoraEngine::LostRetryMilliseconds / 1000)) + " seconds";
  if (!Waiting.empty()) hint = "Waiting for " + Waiting + "; meanwhile on " + hint;
  return hint;
}
