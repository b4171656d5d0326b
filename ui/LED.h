// The activity lamp: a small rounded rectangle whose colour shows the state
// of a MIDI port. Each change is painted at once: SetState lets the
// application handle every pending message before it returns, so the colour
// of each step of an open or close is on screen before the next step runs.
#pragma once

#include <array>
#include <string>

#include "midi/ActivityCounter.h"
#include "midi/MidiPortState.h"
#include "ui/controls/Control.h"

// Fill colour of each state: closed maroon, opening dark green, open lime,
// closing red, lost (the device stopped answering) orange.
extern const std::array<TColor, 5> LEDColors;
// Each state in words, for the lamp's hint.
extern const std::array<const char*, 5> LEDStateNames;
// "Synth A (1.5): open", with what the lamp's row waits for, and how a
// device that stopped answering is taken back.
std::string LampHint(const std::string& Device, TMidiPortState State, const std::string& Waiting);
// An open lamp flickers white-green while its port passes messages.
constexpr TColor LEDFlickerColor = 0xC0FFC0;

class TLED : public TControl {
 public:
  // A new lamp is 7 x 22 pixels and shows mpsClosed.
  TLED(const TParent& Parent, int Left, int Top);

  TMidiPortState State() const { return FState; }
  // Sets the colour on every call, also when the state stays the same.
  void SetState(TMidiPortState Value);
  // The colour of the state, whether or not the lamp flickers.
  TColor BrushColor() const { return FBrushColor; }
  // The text shown when the mouse rests on the lamp; empty shows none.
  void SetHint(const std::string& Hint);
  const std::string& Hint() const { return FHint; }

  // The counter of messages the lamp flickers with, or none. Any counter
  // will do: the port of a row's device, of the input, of an extra input.
  void SetActivity(const TActivityCounter* Counter);
  // Reads the counter (TLampFlicker calls it, about 30 times a second): lit
  // from a reading that finds it moved until FlickerMilliseconds have passed
  // without a move; repainted only when that changes.
  void FollowActivity(ULONGLONG NowMilliseconds);
  static constexpr ULONGLONG FlickerMilliseconds = 60;
  bool Lit() const { return FLit; }
  // What is painted: the flicker while lit and open, else the state's colour.
  TColor ShownColor() const;

 protected:
  bool HandleMessage(UINT Message, WPARAM wParam, LPARAM lParam, LRESULT& Result) override;

 private:
  void Paint(HDC DC);
  void Repaint();

  TMidiPortState FState = mpsClosed;
  TColor FBrushColor = LEDColors[mpsClosed];
  const TActivityCounter* FActivity = nullptr;
  std::uint32_t FLastCount = 0;
  ULONGLONG FLastMove = 0;
  bool FLit = false;
  std::string FHint;
};
