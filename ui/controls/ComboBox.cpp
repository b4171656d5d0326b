#include "ui/controls/ComboBox.h"

namespace {

// The height given to the window is that of the dropped-down list; the
// closed box takes its height from the font.
constexpr int DropDownHeight = 200;

}  // namespace

TComboBox::TComboBox(const TControlArgs& Args)
    : TItemList({Args.Parent, {Args.Bounds.Left, Args.Bounds.Top, Args.Bounds.Width, DropDownHeight},
                 Args.Caption},
                {"COMBOBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, WS_EX_NOPARENTNOTIFY},
                {.ResetContent = CB_RESETCONTENT, .AddString = CB_ADDSTRING, .GetTextLength = CB_GETLBTEXTLEN,
                 .GetText = CB_GETLBTEXT, .GetCount = CB_GETCOUNT, .GetSelection = CB_GETCURSEL,
                 .SetSelection = CB_SETCURSEL, .SelectionChange = CBN_SELCHANGE}) {}

std::string TComboBox::Text() const {
  const int index = ItemIndex();
  if (index < 0) return {};
  return Items()[static_cast<std::size_t>(index)];
}
