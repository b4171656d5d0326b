// A stream of short messages as a band plays them into a router: drums,
// bass, piano chords (bursts of notes at one moment), a pad with an
// expression ramp, a lead with pitch bends and the modulation wheel, and a
// sustain pedal, on six channels at 120 beats a minute, each moment moved
// by a few milliseconds as a player's timing is. Deterministic for a seed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

struct TTimedMessage {
  std::int64_t AtMicroseconds = 0;  // from the start of the stream
  DWORD Message = 0;                // in the system's packing
};

// The first Count messages of the song, in time order; every Note On on a
// channel and key is released before the key is struck again.
std::vector<TTimedMessage> SongStream(std::size_t Count, unsigned Seed);

// The channels the song plays on, lowest first.
constexpr int SongChannels[] = {0, 1, 2, 3, 4, 9};

}  // namespace bench
