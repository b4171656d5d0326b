// Lets lamps flicker with the messages of their ports: one timer of the main
// thread reads every watched lamp's counter about 30 times a second, so the
// ports do no more per message than bump a counter, and the lamps are
// repainted at most that often, however dense the stream.
#pragma once

#include <vector>

#include <windows.h>

class TLED;

class TLampFlicker {
 public:
  static constexpr UINT PollMilliseconds = 33;

  TLampFlicker();   // the timer runs from here
  ~TLampFlicker();  // until here
  TLampFlicker(const TLampFlicker&) = delete;
  TLampFlicker& operator=(const TLampFlicker&) = delete;

  // The lamp is read at every poll from now on; it must outlive the flicker
  // or be forgotten first.
  void Watch(TLED& Lamp);
  void Forget(TLED& Lamp);

 private:
  static void CALLBACK Poll(HWND, UINT, UINT_PTR Timer, DWORD) noexcept;

  UINT_PTR FTimer = 0;
  std::vector<TLED*> FLamps;  // main thread only
};
