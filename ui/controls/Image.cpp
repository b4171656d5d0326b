#include "ui/controls/Image.h"

TImage::TImage(const TControlArgs& Args, HICON Icon)
    : TControl(Args, {"STATIC", WS_VISIBLE | SS_ICON | SS_REALSIZEIMAGE, WS_EX_NOPARENTNOTIFY}) {
  SendMessageA(Handle(), STM_SETICON, reinterpret_cast<WPARAM>(Icon), 0);
  ICONINFO info{};
  if (Icon && GetIconInfo(Icon, &info)) {
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    const int height = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    SetBounds({Left(), Top(), bitmap.bmWidth, height});
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
  }
}
