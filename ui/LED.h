// The activity lamp: a small rounded rectangle whose colour shows the state
// of a MIDI port. Each change is painted at once: SetState lets the
// application handle every pending message before it returns, so the colour
// of each step of an open or close is on screen before the next step runs.
#pragma once

#include <array>
#include <string>

#include "midi/MidiPortState.h"
#include "ui/controls/Control.h"

// Fill colour of each state: closed maroon, opening dark green, open lime,
// closing red, lost (the device stopped answering) orange.
extern const std::array<TColor, 5> LEDColors;
// Each state in words, for the lamp's hint.
extern const std::array<const char*, 5> LEDStateNames;

class TLED : public TControl {
 public:
  // A new lamp is 7 x 22 pixels and shows mpsClosed.
  TLED(const TParent& parent, int left, int top);

  TMidiPortState State() const { return FState; }
  // Sets the colour on every call, also when the state stays the same.
  void SetState(TMidiPortState value);
  TColor BrushColor() const { return FBrushColor; }
  // The text shown when the mouse rests on the lamp; empty shows none.
  void SetHint(const std::string& Hint);
  const std::string& Hint() const { return FHint; }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& Result) override;

 private:
  void Paint(HDC dc);

  TMidiPortState FState = mpsClosed;
  TColor FBrushColor = LEDColors[mpsClosed];
  std::string FHint;
};
