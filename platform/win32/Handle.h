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
  explicit TUniqueHandle(Handle NewHandle) : FHandle(NewHandle) {}
  ~TUniqueHandle() { Reset(); }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& Other) noexcept : FHandle(std::exchange(Other.FHandle, Handle{})) {}
  TUniqueHandle& operator=(TUniqueHandle&& Other) noexcept {
    if (this != &Other) Reset(std::exchange(Other.FHandle, Handle{}));
    return *this;
  }

  Handle Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != Handle{}; }
  void Reset(Handle NewHandle = Handle{}) {
    if (FHandle != Handle{}) Traits::Free(FHandle);
    FHandle = NewHandle;
  }
  Handle Release() { return std::exchange(FHandle, Handle{}); }

 private:
  Handle FHandle{};
};

// How each kind of handle is freed (the handle types are distinct under
// STRICT, which windows.h sets).
inline void FreeHandle(HFONT H) { DeleteObject(H); }
inline void FreeHandle(HBRUSH H) { DeleteObject(H); }
inline void FreeHandle(HMENU H) { DestroyMenu(H); }
inline void FreeHandle(HACCEL H) { DestroyAcceleratorTable(H); }
inline void FreeHandle(HDC H) { DeleteDC(H); }  // a memory device context
inline void FreeHandle(HMODULE H) { FreeLibrary(H); }
inline void FreeHandle(HWND H) { DestroyWindow(H); }

template <typename THandle>
struct THandleTraits {
  using Handle = THandle;
  static void Free(Handle H) { FreeHandle(H); }
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
  explicit TWindowDC(HWND Window) : FWindow(Window), FDC(GetDC(Window)) {}
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
  TSelectObject(HDC DC, HGDIOBJ Object) : FDC(DC), FOld(SelectObject(DC, Object)) {}
  ~TSelectObject() { SelectObject(FDC, FOld); }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld;
};
