// A simulated machine with the engine brought up the way the program brings
// it up (settings path, device catalogue, engine, Start), one input device
// open and every channel routed to output device 0. The benchmarks then drive
// it as a user and a MIDI keyboard would.
#pragma once

#include <cstdint>

#include "engine/VelmoraEngine.h"
#include "platform/MmSystem.h"

namespace bench {

class TBenchMachine {
 public:
  explicit TBenchMachine(int OutputDevices);
  ~TBenchMachine();  // the engine saves and goes, then the catalogue and the path
  TBenchMachine(const TBenchMachine&) = delete;
  TBenchMachine& operator=(const TBenchMachine&) = delete;

  TVelmoraEngine& Engine() { return *FEngine; }

  void Route(std::uint8_t Channel, std::int32_t Device);
  void RouteAll(std::int32_t Device);
  void SetDelay(std::int32_t Device, std::int32_t Milliseconds);
  void SetInterval(std::int32_t Milliseconds);

  // One short message arriving on the open input and handled by the main
  // thread's message loop, as the input notice is.
  void Play(DWORD Message);

 private:
  TVelmoraEngine* FEngine = nullptr;
};

// The packed short message of a note on, channel 0..15, whose two data bytes
// carry the low 14 bits of a sequence number.
constexpr DWORD NoteOnCarrying(std::uint8_t Channel, std::uint32_t Sequence) {
  return 0x90u | (Channel & 0x0Fu) | ((Sequence & 0x7Fu) << 8) | (((Sequence >> 7) & 0x7Fu) << 16);
}
constexpr std::uint32_t SequenceCarriedBy(DWORD Message) {
  return ((Message >> 8) & 0x7Fu) | (((Message >> 16) & 0x7Fu) << 7);
}
constexpr std::uint32_t CarriedSequenceRange = 1u << 14;

}  // namespace bench
