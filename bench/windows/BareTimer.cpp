#include "VirtualMidiEnvironment.h"  // winsock2.h before windows.h
#include "bench/windows/BareTimer.h"


namespace bench {
namespace {
constexpr std::size_t EnoughTicks = 1 << 20;  // over an hour at 4 ms
}

TBareTimer::TBareTimer(UINT IntervalMs, UINT InputDevice, const std::vector<TBareOutput>& Outputs,
                       const std::vector<int>& OutputOfChannel, std::size_t Capacity)
    : FRoutes([&] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        std::vector<std::unique_ptr<TRoute>> routes;
        for (const TBareOutput& output : Outputs) {
          auto route = std::make_unique<TRoute>();
          if (midiOutOpen(&route->Output, output.Device, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) route->Output = nullptr;
          route->Delay = output.DelayMs * frequency.QuadPart / 1000;
          route->Pending.resize(Capacity);
          routes.push_back(std::move(route));
        }
        return routes;
      }()),
      FRouteOfChannel(OutputOfChannel),
      FTicks(EnoughTicks, 0),
      FTimer((timeBeginPeriod(1),
              timeSetEvent(IntervalMs, 1, &TBareTimer::Tick, reinterpret_cast<DWORD_PTR>(this),
                           TIME_PERIODIC | TIME_KILL_SYNCHRONOUS | TIME_CALLBACK_FUNCTION))),
      FInput(InputDevice, &TBareTimer::Notice, this) {}

TBareTimer::~TBareTimer() {
  Stop();
  for (const auto& route : FRoutes)
    if (route->Output) midiOutClose(route->Output);
}

bool TBareTimer::Running() const {
  for (const auto& route : FRoutes)
    if (!route->Output) return false;
  return FTimer != 0 && FInput.Opened();
}

void TBareTimer::Stop() {
  if (FTimer == 0) return;
  timeKillEvent(FTimer);
  timeEndPeriod(1);
  FTimer = 0;
}

void CALLBACK TBareTimer::Tick(UINT, UINT, DWORD_PTR Self, DWORD_PTR, DWORD_PTR) {
  auto* timer = reinterpret_cast<TBareTimer*>(Self);
  const std::int64_t now = QpcNow();
  const std::size_t n = timer->FTickCount.load(std::memory_order_relaxed);
  if (n < timer->FTicks.size()) {
    timer->FTicks[n] = now;
    timer->FTickCount.store(n + 1, std::memory_order_release);
  }
  for (const auto& route : timer->FRoutes) {
    const std::size_t written = route->Written.load(std::memory_order_acquire);
    while (route->Sent < written && route->Pending[route->Sent].Due <= now)
      midiOutShortMsg(route->Output, route->Pending[route->Sent++].Message);
  }
}

void TBareTimer::Notice(void* Self, DWORD Message) {
  auto* timer = static_cast<TBareTimer*>(Self);
  TRoute& route = *timer->FRoutes[static_cast<std::size_t>(timer->FRouteOfChannel[Message & 0x0F])];
  const std::size_t n = route.Written.load(std::memory_order_relaxed);
  if (n == route.Pending.size()) return;
  route.Pending[n] = {QpcNow() + route.Delay, Message};
  route.Written.store(n + 1, std::memory_order_release);
}

std::vector<std::int64_t> TBareTimer::Ticks() const {
  return {FTicks.begin(), FTicks.begin() + static_cast<std::ptrdiff_t>(FTickCount.load(std::memory_order_acquire))};
}

std::vector<std::int64_t> TBareTimer::DueTimes(std::size_t Output) const {
  const TRoute& route = *FRoutes[Output];
  std::vector<std::int64_t> due;
  for (std::size_t n = 0; n < route.Written.load(std::memory_order_acquire); ++n) due.push_back(route.Pending[n].Due);
  return due;
}

}  // namespace bench
