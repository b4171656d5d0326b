// Owning wrappers for the system handles of windows and their drawing: each kind says how
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

// How each kind of handle is freed (the handle types are distinct under
// STRICT, which windows.h sets).
inline void FreeHandle(HFONT h) { DeleteObject(h); }
inline void FreeHandle(HBRUSH h) { DeleteObject(h); }
inline void FreeHandle(HMENU h) { DestroyMenu(h); }
inline void FreeHandle(HACCEL h) { DestroyAcceleratorTable(h); }
inline void FreeHandle(HDC h) { DeleteDC(h); }  // a memory device context
inline void FreeHandle(HMODULE h) { FreeLibrary(h); }
inline void FreeHandle(HWND h) { DestroyWindow(h); }

template <typename THandle>
struct THandleTraits {
  using Handle = THandle;
  static void Free(Handle h) { FreeHandle(h); }
};

using TFontHandle = TUniqueHandle<THandleTraits<HFONT>>;
using TBrushHandle = TUniqueHandle<THandleTraits<HBRUSH>>;
using TMenuHandle = TUniqueHandle<THandleTraits<HMENU>>;
using TAcceleratorHandle = TUniqueHandle<THandleTraits<HACCEL>>;
using TMemoryDCHandle = TUniqueHandle<THandleTraits<HDC>>;
using TModuleHandle = TUniqueHandle<THandleTraits<HMODULE>>;
using TWindowHandle = TUniqueHandle<THandleTraits<HWND>>;

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
