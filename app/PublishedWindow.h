// Owns one of the program's windows and keeps the global through which the
// other windows reach it pointing at it exactly while it lives.
#pragma once

#include <memory>
#include <utility>

template <class TWindow>
class TPublishedWindow {
 public:
  explicit TPublishedWindow(TWindow*& Global) : FGlobal(Global) {}
  ~TPublishedWindow() { Destroy(); }
  TPublishedWindow(const TPublishedWindow&) = delete;
  TPublishedWindow& operator=(const TPublishedWindow&) = delete;

  template <class... TArgs>
  TWindow& Create(TArgs&&... Args) {
    FWindow = std::make_unique<TWindow>(std::forward<TArgs>(Args)...);
    FGlobal = FWindow.get();
    return *FWindow;
  }
  void Destroy() {
    FWindow.reset();
    FGlobal = nullptr;
  }

 private:
  std::unique_ptr<TWindow> FWindow;
  TWindow*& FGlobal;
};
