// A set of tab pages; one is shown at a time. The pages fill the tab
// control's display area and follow it when it changes size or font.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/controls/Control.h"
#include "ui/controls/TabSheet.h"

class TPageControl : public TControl {
 public:
  explicit TPageControl(const TControlArgs& Args);
  ~TPageControl() override;

  TTabSheet& AddPage(const std::string& Caption);
  int ActivePageIndex() const;
  void SetActivePage(const TTabSheet& Page);
  // Lays the pages out again; call after the bounds changed.
  void LayoutPages();

 protected:
  bool Notify(NMHDR& Header, LRESULT& Result) override;
  void FontChanged() override;

 private:
  void ShowActivePage();
  std::vector<std::unique_ptr<TTabSheet>> FPages;
};
