// Where a window stands, kept in the settings file: the keys "Left" and
// "Top" of the window's own section, 0 when absent. Saved by the settings'
// writer thread; a failure shows in the main window's title.
#pragma once

#include <string>

class TForm;

void LoadFormPosition(TForm& Form, const std::string& Section);
void SaveFormPosition(const TForm& Form, const std::string& Section);
