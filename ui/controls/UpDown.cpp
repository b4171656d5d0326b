#include "ui/controls/UpDown.h"

#include <algorithm>

#include <commctrl.h>

#include "ui/controls/Edit.h"

namespace {

std::string UserThousandSeparator() {
  char separator[8] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, sizeof separator) <= 1)
    return {};
  return separator;
}

}  // namespace

TUpDown::TUpDown(const TUpDownArgs& Args)
    // No UDS_SETBUDDYINT: the text of the edit is written and read here, so
    // its format does not depend on the common-controls version.
    : TControl(Args.Control, {UPDOWN_CLASSA, WS_VISIBLE | UDS_ARROWKEYS | UDS_HOTTRACK,
                              WS_EX_NOPARENTNOTIFY}),
      FAssociate(Args.Associate),
      FMin(Args.Min),
      FMax(Args.Max),
      FPosition(std::clamp(Args.Position, Args.Min, Args.Max)),
      FThousands(Args.Thousands),
      FSeparator(UserThousandSeparator()) {
  SendMessageA(Handle(), UDM_SETRANGE32, static_cast<WPARAM>(FMin), FMax);
  SendMessageA(Handle(), UDM_SETPOS32, 0, FPosition);
  // With a buddy the control takes the buddy's arrow keys as steps.
  if (FAssociate) SendMessageA(Handle(), UDM_SETBUDDY, reinterpret_cast<WPARAM>(FAssociate->Handle()), 0);
  // The designed bounds stand; attaching the buddy must not move anything.
  SetBounds(Args.Control.Bounds);
  WriteText();
}

std::string TUpDown::FormatPosition(int Value) const {
  const std::string digits = std::to_string(Value < 0 ? -Value : Value);
  std::string text = Value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const std::size_t left = digits.size() - i;  // digits from here to the end
    if (i > 0 && left % 3 == 0 && FThousands) text += FSeparator;
    text += digits[i];
  }
  return text;
}

bool TUpDown::ParsePosition(const std::string& Text, int& Value) const {
  std::string digits = Text;
  if (!FSeparator.empty()) {
    for (auto at = digits.find(FSeparator); at != std::string::npos; at = digits.find(FSeparator))
      digits.erase(at, FSeparator.size());
  }
  bool negative = false;
  std::size_t start = 0;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    start = 1;
  }
  if (start == digits.size() || digits.size() - start > 6) return false;
  int result = 0;
  for (std::size_t i = start; i < digits.size(); ++i) {
    if (digits[i] < '0' || digits[i] > '9') return false;
    result = result * 10 + (digits[i] - '0');
  }
  Value = negative ? -result : result;
  return true;
}

std::int16_t TUpDown::Position() {
  int value = 0;
  if (FAssociate && ParsePosition(FAssociate->Text(), value) && value >= FMin && value <= FMax)
    FPosition = static_cast<std::int16_t>(value);
  return FPosition;
}

void TUpDown::SetPosition(int Value) {
  const auto clamped = static_cast<std::int16_t>(std::clamp<int>(Value, FMin, FMax));
  if (clamped == Position()) return;
  FPosition = clamped;
  SendMessageA(Handle(), UDM_SETPOS32, 0, FPosition);
  WriteText();
}

void TUpDown::WriteText() {
  if (FAssociate) FAssociate->SetText(FormatPosition(FPosition));
}

bool TUpDown::Notify(NMHDR& Header, LRESULT& Result) {
  if (Header.code != UDN_DELTAPOS) return false;
  const auto& change = reinterpret_cast<NMUPDOWN&>(Header);
  SetPosition(Position() + change.iDelta);
  Result = TRUE;  // the control's own idea of the position is not used
  return true;
}
