// The bare way a Windows program takes MIDI input: the device opened with
// window notification to a hidden window of the calling thread, and each
// short message handed to a plain function in the window's notice handler,
// in that thread's message loop. Nothing of Velmora: the references the
// router is measured against are built on it.
#pragma once

#include <windows.h>
#include <mmsystem.h>

namespace bench {

class TBareInput {
 public:
  using THandler = void (*)(void* Context, DWORD Message);

  TBareInput(UINT Device, THandler Handler, void* Context);  // opens and starts
  ~TBareInput();                                             // stops and closes
  TBareInput(const TBareInput&) = delete;
  TBareInput& operator=(const TBareInput&) = delete;

  bool Opened() const { return FInput != nullptr; }

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);

  THandler FHandler;
  void* FContext;
  HWND FWindow = nullptr;
  HMIDIIN FInput = nullptr;
};

}  // namespace bench
