// An up-down control paired with an edit. Its position is a 16-bit signed
// value between Min and Max. Whenever the position changes, the up-down
// writes it into the edit as decimal text, with the user's thousands
// separator from 1000 on; when asked for its position, it reads the edit's
// text back, with or without separators. Text that is no number within the
// range leaves the position at its last valid value.
#pragma once

#include <cstdint>
#include <string>

#include "ui/controls/Control.h"

class TEdit;

struct TUpDownArgs {
  TControlArgs Control;
  TEdit* Associate = nullptr;
  std::int16_t Min = 0;
  std::int16_t Max = 100;
  std::int16_t Position = 0;
  bool Thousands = true;
};

class TUpDown : public TControl {
 public:
  explicit TUpDown(const TUpDownArgs& Args);

  std::int16_t Min() const { return FMin; }
  std::int16_t Max() const { return FMax; }
  // Reads the edit's text first.
  std::int16_t Position();
  // Clamped to Min..Max; a position equal to the current one changes nothing.
  void SetPosition(int Value);

  // The text the up-down writes for a value, and the value of a text
  // (false when the text is no integer); both follow the user's locale.
  std::string FormatPosition(int Value) const;
  bool ParsePosition(const std::string& Text, int& Value) const;

 protected:
  bool Notify(NMHDR& Header, LRESULT& Result) override;

 private:
  void WriteText();

  TEdit* FAssociate;
  std::int16_t FMin;
  std::int16_t FMax;
  std::int16_t FPosition;
  bool FThousands;
  std::string FSeparator;
};
