#include "ui/controls/ToolTip.h"

#include <commctrl.h>

#include <algorithm>

void TToolTip::Add(HWND Tool, const std::string& Text) {
  if (FHandle) {
    AddToWindow(Tool, Text);
    return;
  }
  for (auto& [waitingTool, waitingText] : FWaiting) {
    if (waitingTool != Tool) continue;
    waitingText = Text;
    return;
  }
  FWaiting.emplace_back(Tool, Text);
}

void TToolTip::Set(HWND Tool, const std::string& Text) {
  std::erase_if(FWaiting, [Tool](const auto& waiting) { return waiting.first == Tool; });
  if (FHandle) {
    TOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.hwnd = FOwner;
    info.uId = reinterpret_cast<UINT_PTR>(Tool);
    SendMessageA(FHandle.Get(), TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&info));  // none yet: nothing happens
  }
  if (!Text.empty()) Add(Tool, Text);
}

void TToolTip::FormShowing() {
  if (FHandle) return;
  FHandle.Reset(CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FOwner, nullptr,
                                GetModuleHandleA(nullptr), nullptr));
  for (const auto& [tool, text] : FWaiting) AddToWindow(tool, text);
  FWaiting.clear();
}

void TToolTip::AddToWindow(HWND Tool, const std::string& Text) {
  TOOLINFOA info{};
  info.cbSize = TTTOOLINFOA_V1_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = FOwner;
  info.uId = reinterpret_cast<UINT_PTR>(Tool);
  info.lpszText = const_cast<char*>(Text.c_str());  // copied by the control
  // A tool added before gets its new text. Not deleted and added again:
  // Wine's tooltip corrupts its heap deleting a subclassed tool.
  if (std::find(FAdded.begin(), FAdded.end(), Tool) != FAdded.end()) {
    SendMessageA(FHandle.Get(), TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
    return;
  }
  SendMessageA(FHandle.Get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  FAdded.push_back(Tool);
}
