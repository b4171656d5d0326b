#include "ui/controls/PageControl.h"

#include <commctrl.h>

#include "ui/controls/Form.h"

TPageControl::TPageControl(const TControlArgs& Args)
    : TControl(Args, {WC_TABCONTROLA,
                      WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | TCS_MULTILINE,
                      WS_EX_CONTROLPARENT | WS_EX_NOPARENTNOTIFY}) {}

TPageControl::~TPageControl() {
  // The pages are children of the tab control: they go first.
  FPages.clear();
}

TTabSheet& TPageControl::AddPage(const std::string& Caption) {
  FPages.push_back(std::make_unique<TTabSheet>(TParent{Handle(), {0, 0}, &Form()}, Caption));
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<char*>(Caption.c_str());
  SendMessageA(Handle(), TCM_INSERTITEMA, FPages.size() - 1, reinterpret_cast<LPARAM>(&item));
  LayoutPages();
  ShowActivePage();
  return *FPages.back();
}

int TPageControl::ActivePageIndex() const {
  return static_cast<int>(SendMessageA(Handle(), TCM_GETCURSEL, 0, 0));
}

void TPageControl::SetActivePage(const TTabSheet& Page) {
  for (std::size_t i = 0; i < FPages.size(); ++i)
    if (FPages[i].get() == &Page) SendMessageA(Handle(), TCM_SETCURSEL, i, 0);
  ShowActivePage();
}

void TPageControl::LayoutPages() {
  RECT area{};
  GetClientRect(Handle(), &area);
  SendMessageA(Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  for (auto& page : FPages) page->SetPixelBounds(area);
}

void TPageControl::ShowActivePage() {
  const int active = ActivePageIndex();
  for (std::size_t i = 0; i < FPages.size(); ++i)
    FPages[i]->SetVisible(static_cast<int>(i) == active);
}

bool TPageControl::Notify(NMHDR& Header, LRESULT& Result) {
  if (Header.code != TCN_SELCHANGE) return false;
  ShowActivePage();
  Result = 0;
  return true;
}

void TPageControl::FontChanged() { LayoutPages(); }
