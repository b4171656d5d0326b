#include "VirtualMidiEnvironment.h"  // winsock2.h before windows.h
#include "bench/windows/BareWakeUp.h"

#include <cmath>

namespace bench {
namespace {

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, for headers older than the flag.
constexpr DWORD HighResolutionTimer = 0x00000002;
using CreateWaitableTimerExCall = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);

HANDLE CreateBestWaitableTimer() {
  const auto createEx = reinterpret_cast<CreateWaitableTimerExCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateWaitableTimerExW")));
  if (createEx != nullptr) {
    if (HANDLE timer = createEx(nullptr, nullptr, HighResolutionTimer, TIMER_ALL_ACCESS)) return timer;
  }
  return CreateWaitableTimerW(nullptr, FALSE, nullptr);
}

std::int64_t Frequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

}  // namespace

const char* SleepName(TBareSleep Sleep) {
  return Sleep == TBareSleep::OneShotTimer ? "one-shot timeSetEvent" : "waitable timer";
}

TBareWakeUp::TBareWakeUp(TBareSleep Sleep, UINT InputDevice, const std::vector<TBareOutput>& Outputs,
                         const std::vector<int>& OutputOfChannel, std::size_t Capacity)
    : FSleep(Sleep),
      FRoutes([&] {
        std::vector<std::unique_ptr<TRoute>> routes;
        for (const TBareOutput& output : Outputs) {
          auto route = std::make_unique<TRoute>();
          if (midiOutOpen(&route->Output, output.Device, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) route->Output = nullptr;
          route->Delay = output.DelayMs * Frequency() / 1000;
          route->Pending.resize(Capacity);
          routes.push_back(std::move(route));
        }
        return routes;
      }()),
      FRouteOfChannel(OutputOfChannel),
      FArrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      FStopped(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      FFired(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      FTimer(CreateBestWaitableTimer()),
      FSender([this] {
        timeBeginPeriod(1);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        Send();
        timeEndPeriod(1);
      }),
      FInput(InputDevice, &TBareWakeUp::Notice, this) {}

TBareWakeUp::~TBareWakeUp() {
  Stop();
  for (const auto& route : FRoutes)
    if (route->Output) midiOutClose(route->Output);
  for (HANDLE handle : {FArrived, FStopped, FFired, FTimer})
    if (handle) CloseHandle(handle);
}

bool TBareWakeUp::Running() const {
  for (const auto& route : FRoutes)
    if (!route->Output) return false;
  return FArrived && FStopped && FFired && FTimer && FInput.Opened();
}

void TBareWakeUp::Stop() {
  if (!FSender.joinable()) return;
  SetEvent(FStopped);
  FSender.join();
}

std::int64_t TBareWakeUp::EarliestDue() const {
  std::int64_t earliest = NothingDue;
  for (const auto& route : FRoutes)
    if (route->Sent < route->Written.load(std::memory_order_seq_cst) && route->Pending[route->Sent].Due < earliest)
      earliest = route->Pending[route->Sent].Due;
  return earliest;
}

void TBareWakeUp::Send() {
  while (WaitForSingleObject(FStopped, 0) != WAIT_OBJECT_0) {
    const std::int64_t now = QpcNow();
    for (const auto& route : FRoutes) {
      const std::size_t written = route->Written.load(std::memory_order_acquire);
      while (route->Sent < written && route->Pending[route->Sent].Due <= now)
        midiOutShortMsg(route->Output, route->Pending[route->Sent++].Message);
    }
    // Said before the heads are looked at again, so that a notice either
    // sees it or is seen.
    FWaitingFor.store(EarliestDue(), std::memory_order_seq_cst);
    const std::int64_t due = EarliestDue();
    if (due != FWaitingFor.load(std::memory_order_relaxed)) continue;
    SleepUntil(due);
  }
}

void TBareWakeUp::SleepUntil(std::int64_t Due) {
  const std::int64_t ahead = Due - QpcNow();
  if (Due == NothingDue) {
    const HANDLE waits[] = {FStopped, FArrived};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    return;
  }
  if (ahead <= 0) return;
  if (FSleep == TBareSleep::OneShotTimer) {
    const UINT milliseconds = static_cast<UINT>(std::max<std::int64_t>(1, (ahead * 1000 + Frequency() - 1) / Frequency()));
    const UINT event = timeSetEvent(milliseconds, 1, reinterpret_cast<LPTIMECALLBACK>(FFired), 0,
                                    TIME_ONESHOT | TIME_CALLBACK_EVENT_SET);
    const HANDLE waits[] = {FStopped, FArrived, FFired};
    if (WaitForMultipleObjects(3, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 2 && event) timeKillEvent(event);
    return;
  }
  LARGE_INTEGER relative;
  relative.QuadPart = -(ahead * 10000000 / Frequency() + 1);
  SetWaitableTimer(FTimer, &relative, 0, nullptr, nullptr, FALSE);
  const HANDLE waits[] = {FStopped, FArrived, FTimer};
  WaitForMultipleObjects(3, waits, FALSE, INFINITE);
}

void TBareWakeUp::Notice(void* Self, DWORD Message) {
  auto* bare = static_cast<TBareWakeUp*>(Self);
  TRoute& route = *bare->FRoutes[static_cast<std::size_t>(bare->FRouteOfChannel[Message & 0x0F])];
  const std::size_t n = route.Written.load(std::memory_order_relaxed);
  if (n == route.Pending.size()) return;
  const std::int64_t due = QpcNow() + route.Delay;
  route.Pending[n] = {due, Message};
  route.Written.store(n + 1, std::memory_order_seq_cst);
  if (due < bare->FWaitingFor.load(std::memory_order_seq_cst)) SetEvent(bare->FArrived);
}

std::vector<std::int64_t> TBareWakeUp::DueTimes(std::size_t Output) const {
  const TRoute& route = *FRoutes[Output];
  std::vector<std::int64_t> due;
  for (std::size_t n = 0; n < route.Written.load(std::memory_order_acquire); ++n) due.push_back(route.Pending[n].Due);
  return due;
}

}  // namespace bench
