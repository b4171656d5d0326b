#include "ui/controls/ListBox.h"

TListBox::TListBox(const TControlArgs& Args)
    : TItemList(Args,
                {"LISTBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                 WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY},
                {.ResetContent = LB_RESETCONTENT, .AddString = LB_ADDSTRING, .GetTextLength = LB_GETTEXTLEN,
                 .GetText = LB_GETTEXT, .GetCount = LB_GETCOUNT, .GetSelection = LB_GETCURSEL,
                 .SetSelection = LB_SETCURSEL, .SelectionChange = LBN_SELCHANGE}) {}
