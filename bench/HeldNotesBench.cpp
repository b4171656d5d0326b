// What following held notes costs per message: the bookkeeping the engine
// does for every Note On and Note Off, over a stream of overlapping chords
// on every channel, beside an arrival that does none (the reference).
#include <benchmark/benchmark.h>

#include "engine/HeldNotes.h"

namespace {

constexpr int Devices = 8;
constexpr int Voices = 6;  // notes held at once per channel

void FollowNotes(benchmark::State& state) {
  THeldNotes held(Devices);
  int step = 0;
  for (auto _ : state) {
    const int channel = step % ChannelCount;
    const int key = 36 + (step / ChannelCount) % 48;
    int evicted = 0;
    benchmark::DoNotOptimize(held.NoteOn(channel % Devices, channel, key, evicted));
    const int released = 36 + ((step / ChannelCount) + 48 - Voices) % 48;
    benchmark::DoNotOptimize(held.NoteOff(channel, released));
    ++step;
  }
  state.SetItemsProcessed(2 * state.iterations());  // two messages a round
}

// The same stream with no bookkeeping: the loop's own cost.
void Reference(benchmark::State& state) {
  int step = 0;
  for (auto _ : state) {
    const int channel = step % ChannelCount;
    benchmark::DoNotOptimize(channel % Devices);
    benchmark::DoNotOptimize(36 + (step / ChannelCount) % 48);
    ++step;
  }
  state.SetItemsProcessed(2 * state.iterations());
}

}  // namespace

BENCHMARK(FollowNotes);
BENCHMARK(Reference);
BENCHMARK_MAIN();
