#include "ui/controls/Image.h"

TImage::TImage(const TControlArgs& args, HICON icon)
    : TControl(args, {"STATIC", WS_VISIBLE | SS_ICON | SS_REALSIZEIMAGE, WS_EX_NOPARENTNOTIFY}) {
  SendMessageA(Handle(), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  ICONINFO info{};
  if (icon && GetIconInfo(icon, &info)) {
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    const int height = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    SetBounds({Left(), Top(), bitmap.bmWidth, height});
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
  }
}
