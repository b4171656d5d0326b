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
  explicit TPageControl(const TControlArgs& args);
  ~TPageControl() override;

  TTabSheet& AddPage(const std::string& caption);
  int ActivePageIndex() const;
  void SetActivePage(const TTabSheet& page);
  // Lays the pages out again; call after the bounds changed.
  void LayoutPages();

 protected:
  bool Notify(NMHDR& header, LRESULT& result) override;
  void FontChanged() override;

 private:
  void ShowActivePage();
  std::vector<std::unique_ptr<TTabSheet>> FPages;
};
