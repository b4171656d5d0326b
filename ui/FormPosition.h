// Where a window stands, kept in the settings file: the keys "Left" and
// "Top" of the window's own section, 0 when absent. Saved by the settings'
// writer thread; a failure shows in the main window's title.
#pragma once

#include <string>
#include <utility>

class TForm;

// A form's position for the form's life: read when the form asks (once its
// controls exist), saved when the form goes. A form holds it as its last
// member, so the window still stands where the user left it when it is saved.
class TFormPosition {
 public:
  TFormPosition(TForm& Form, std::string Section) : FForm(Form), FSection(std::move(Section)) {}
  ~TFormPosition();  // saves; a failure is reported, never thrown
  TFormPosition(const TFormPosition&) = delete;
  TFormPosition& operator=(const TFormPosition&) = delete;

  void Load();

 private:
  TForm& FForm;
  std::string FSection;
};
