#include "ui/LampFlicker.h"

#include <algorithm>
#include <unordered_map>

#include "engine/Exceptions.h"
#include "ui/LED.h"

namespace {

// A thread timer's procedure learns only the timer's number. Main thread
// only.
std::unordered_map<UINT_PTR, TLampFlicker*>& Flickers() {
  static std::unordered_map<UINT_PTR, TLampFlicker*> flickers;
  return flickers;
}

}  // namespace

TLampFlicker::TLampFlicker() : FTimer(SetTimer(nullptr, 0, PollMilliseconds, &TLampFlicker::Poll)) {
  if (FTimer == 0) throw Exception("Cannot start the lamps' timer.");
  Flickers()[FTimer] = this;
}

TLampFlicker::~TLampFlicker() {
  KillTimer(nullptr, FTimer);
  Flickers().erase(FTimer);
}

void TLampFlicker::Watch(TLED& Lamp) {
  if (std::find(FLamps.begin(), FLamps.end(), &Lamp) == FLamps.end()) FLamps.push_back(&Lamp);
}

void TLampFlicker::Forget(TLED& Lamp) { FLamps.erase(std::remove(FLamps.begin(), FLamps.end(), &Lamp), FLamps.end()); }

void CALLBACK TLampFlicker::Poll(HWND, UINT, UINT_PTR Timer, DWORD) noexcept {
  const auto found = Flickers().find(Timer);
  if (found == Flickers().end()) return;
  const ULONGLONG now = GetTickCount64();
  for (TLED* lamp : found->second->FLamps) lamp->FollowActivity(now);
}
