#include "VirtualMidiEnvironment.h"  // winsock2.h before windows.h
#include "bench/windows/StreamPlayer.h"


namespace bench {

TStreamPlayer::TStreamPlayer(vmidi::Controller& Driver, int InputDevice, const std::vector<TTimedMessage>& Stream,
                             TPace Pace)
    : FHandedAt(Stream.size(), 0), FPumpThread(GetCurrentThreadId()) {
  FPlayer = std::thread([this, &Driver, InputDevice, &Stream, Pace] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const std::int64_t start = QpcNow();
    for (std::size_t n = 0; n < Stream.size(); ++n) {
      const std::int64_t due = start + Stream[n].AtMicroseconds * frequency.QuadPart / 1000000;
      // Sleep through most of the wait and spin the last two milliseconds,
      // so that each message leaves at its moment.
      for (std::int64_t left = due - QpcNow(); left > 0; left = due - QpcNow()) {
        if (Pace == TPace::Sleeping || left * 1000 > 2 * frequency.QuadPart) Sleep(1);
        else std::this_thread::yield();
      }
      const vmidi::Ack ack = Driver.InjectShort(InputDevice, Stream[n].Message);
      if (ack.Received && ack.Value == 1) FHandedAt[n] = ack.Qpc;
    }
    FFinished.store(true, std::memory_order_release);
    PostThreadMessageA(FPumpThread, WM_NULL, 0, 0);  // wakes the pump at once
  });
}

TStreamPlayer::~TStreamPlayer() {
  if (FPlayer.joinable()) FPlayer.join();
}

void TStreamPlayer::PumpUntilPlayed(unsigned TailMilliseconds) {
  // A message loop that sleeps until something arrives, as a program's does.
  while (!Finished()) {
    MsgWaitForMultipleObjectsEx(0, nullptr, 100, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    PumpMessages();
  }
  PumpFor(TailMilliseconds);
}

}  // namespace bench
