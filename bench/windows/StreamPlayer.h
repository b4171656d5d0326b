// Plays a stream into a virtual input device from a thread of its own, each
// message at its moment, while the caller's thread pumps its messages as a
// program's message loop does. Records when the driver handed each message
// to winmm (its performance-counter time).
#pragma once

#include "VirtualMidiController.h"  // winsock2.h before windows.h

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "bench/windows/SongStream.h"

namespace bench {

// How the player keeps to each message's moment: exactly (sleeping, then
// spinning the last two milliseconds), or only sleeping, within a few
// milliseconds, where its own processor time must not count.
enum class TPace { Exact, Sleeping };

class TStreamPlayer {
 public:
  // Starts playing at once.
  TStreamPlayer(vmidi::Controller& Driver, int InputDevice, const std::vector<TTimedMessage>& Stream,
                TPace Pace = TPace::Exact);
  ~TStreamPlayer();  // waits for the last message
  TStreamPlayer(const TStreamPlayer&) = delete;
  TStreamPlayer& operator=(const TStreamPlayer&) = delete;

  bool Finished() const { return FFinished.load(std::memory_order_acquire); }
  // Pumps the calling thread's messages until the stream has been played
  // and Tail milliseconds more have passed.
  void PumpUntilPlayed(unsigned TailMilliseconds);
  // Once finished: the driver's time of each message (0 where the driver
  // did not take it: the input was not open).
  const std::vector<std::int64_t>& HandedAt() const { return FHandedAt; }

 private:
  std::vector<std::int64_t> FHandedAt;  // written by the player thread until FFinished, read after
  std::atomic<bool> FFinished{false};   // release by the player thread
  DWORD FPumpThread;
  std::thread FPlayer;
};

}  // namespace bench
