// Owning wrappers for the system handles the windows use: each kind says how
// it is freed, and the wrapper frees it exactly once.
#pragma once

#include <utility>

#include <windows.h>

template <typename Traits>
class TUniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  TUniqueHandle() = default;
  explicit TUniqueHandle(Handle handle) : FHandle(handle) {}
  ~TUniqueHandle() { Reset(); }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, Handle{})) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.FHandle, Handle{}));
    return *this;
  }

  Handle Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != Handle{}; }
  void Reset(Handle handle = Handle{}) {
    if (FHandle != Handle{}) Traits::Free(FHandle);
    FHandle = handle;
  }
  Handle Release() { return std::exchange(FHandle, Handle{}); }

 private:
  Handle FHandle{};
};

struct TFontTraits {
  using Handle = HFONT;
  static void Free(Handle h) { DeleteObject(h); }
};
struct TBrushTraits {
  using Handle = HBRUSH;
  static void Free(Handle h) { DeleteObject(h); }
};
struct TMenuTraits {
  using Handle = HMENU;
  static void Free(Handle h) { DestroyMenu(h); }
};
struct TAcceleratorTraits {
  using Handle = HACCEL;
  static void Free(Handle h) { DestroyAcceleratorTable(h); }
};
struct TMemoryDCTraits {
  using Handle = HDC;
  static void Free(Handle h) { DeleteDC(h); }
};
struct TModuleTraits {
  using Handle = HMODULE;
  static void Free(Handle h) { FreeLibrary(h); }
};
struct TWindowTraits {
  using Handle = HWND;
  static void Free(Handle h) { DestroyWindow(h); }
};

using TFontHandle = TUniqueHandle<TFontTraits>;
using TBrushHandle = TUniqueHandle<TBrushTraits>;
using TMenuHandle = TUniqueHandle<TMenuTraits>;
using TAcceleratorHandle = TUniqueHandle<TAcceleratorTraits>;
using TMemoryDCHandle = TUniqueHandle<TMemoryDCTraits>;
using TModuleHandle = TUniqueHandle<TModuleTraits>;
using TWindowHandle = TUniqueHandle<TWindowTraits>;

// A device context of a window, released when it goes.
class TWindowDC {
 public:
  explicit TWindowDC(HWND window) : FWindow(window), FDC(GetDC(window)) {}
  ~TWindowDC() { ReleaseDC(FWindow, FDC); }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const { return FDC; }

 private:
  HWND FWindow;
  HDC FDC;
};

// Selects a GDI object into a device context for one scope.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
  ~TSelectObject() { SelectObject(FDC, FOld); }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld;
};
