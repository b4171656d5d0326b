#include "bench/windows/SongStream.h"

#include <algorithm>
#include <random>

namespace bench {
namespace {

constexpr std::int64_t SixteenthUs = 125000;  // 120 beats a minute
constexpr int SixteenthsPerBar = 16;
constexpr std::int64_t HumanisingUs = 3000;   // a player's spread either way
constexpr std::int64_t ExpressionStepUs = 50000;
constexpr std::int64_t BendStepUs = 20000;

DWORD Short(int Status, int Channel, int Data1, int Data2) {
  return static_cast<DWORD>(Status | Channel) | static_cast<DWORD>(Data1 & 0x7F) << 8 |
         static_cast<DWORD>(Data2 & 0x7F) << 16;
}

class TSongWriter {
 public:
  explicit TSongWriter(unsigned Seed) : FRandom(Seed) {}

  std::int64_t Humanised(std::int64_t At) {
    return std::max<std::int64_t>(0, At + std::uniform_int_distribution<std::int64_t>(-HumanisingUs, HumanisingUs)(FRandom));
  }
  int Pick(int Low, int High) { return std::uniform_int_distribution<int>(Low, High)(FRandom); }

  void Add(std::int64_t At, DWORD Message) { FMessages.push_back({At, Message}); }
  // A note struck at At and released Length later; the notes of a chord
  // share one moment, as a hand plays them.
  void Note(std::int64_t At, std::int64_t Length, int Channel, int Key, int Velocity) {
    Add(At, Short(0x90, Channel, Key, Velocity));
    Add(At + Length, Short(0x80, Channel, Key, 0));
  }

  void Bar(std::int64_t Start) {
    constexpr int Drums = 9, Bass = 1, Piano = 0, Pad = 2, Lead = 3, Strings = 4;
    for (int s = 0; s < SixteenthsPerBar; ++s) {
      const std::int64_t at = Humanised(Start + s * SixteenthUs);
      if (s % 2 == 0) Note(at, 30000, Drums, 42, Pick(60, 90));                 // closed hi-hat
      if (s % 8 == 0) Note(at, 30000, Drums, 36, Pick(100, 120));               // kick
      if (s % 8 == 4) Note(at, 30000, Drums, 38, Pick(90, 115));                // snare
      if (s % 2 == 0) Note(at, 2 * SixteenthUs - 10000, Bass, Pick(36, 47), Pick(80, 100));
      Note(at, SixteenthUs - 15000, Lead, Pick(67, 84), Pick(70, 110));
      if (s % 8 == 0) {
        const int root = Pick(55, 64);
        const std::int64_t chord = Humanised(Start + s * SixteenthUs);
        for (int interval : {0, 4, 7, 12}) Note(chord, 8 * SixteenthUs - 20000, Piano, root + interval, Pick(70, 95));
      }
    }
    const int padRoot = Pick(48, 55);
    for (int interval : {0, 7, 16}) Note(Start + 5000, SixteenthsPerBar * SixteenthUs - 40000, Pad, padRoot + interval, 70);
    const std::int64_t barUs = SixteenthsPerBar * SixteenthUs;
    for (std::int64_t t = 0; t < barUs; t += ExpressionStepUs)
      Add(Start + t, Short(0xB0, Pad, 11, 64 + static_cast<int>(40 * t / barUs)));
    // A bend up and back in the second half of the bar, and the wheel.
    for (std::int64_t t = barUs / 2; t < barUs; t += BendStepUs) {
      const std::int64_t phase = (t - barUs / 2) * 2 * 0x1000 / barUs;
      const int bend = 0x2000 + static_cast<int>(phase < 0x800 ? phase : 0x1000 - phase);
      Add(Start + t, Short(0xE0, Lead, bend & 0x7F, bend >> 7));
    }
    Add(Start + barUs / 4, Short(0xB0, Lead, 1, Pick(0, 90)));
    Add(Start + 10000, Short(0xB0, Strings, 64, 127));
    Note(Start + 12000, barUs - 60000, Strings, Pick(60, 72), 60);
    Add(Start + barUs - 30000, Short(0xB0, Strings, 64, 0));
  }

  std::vector<TTimedMessage> Take(std::size_t Count) {
    // Stable: a Note Off written before a Note On of the same moment stays
    // before it.
    std::stable_sort(FMessages.begin(), FMessages.end(),
                     [](const TTimedMessage& a, const TTimedMessage& b) { return a.AtMicroseconds < b.AtMicroseconds; });
    FMessages.resize(std::min(Count, FMessages.size()));
    return std::move(FMessages);
  }
  std::size_t Size() const { return FMessages.size(); }

 private:
  std::mt19937 FRandom;
  std::vector<TTimedMessage> FMessages;
};

}  // namespace

std::vector<TTimedMessage> SongStream(std::size_t Count, unsigned Seed) {
  TSongWriter song(Seed);
  // One bar more than needed, so that the messages cut off at the end are
  // those of the latest moments, not whole voices.
  std::int64_t start = 0;
  while (song.Size() < Count) {
    song.Bar(start);
    start += SixteenthsPerBar * SixteenthUs;
  }
  song.Bar(start);
  return song.Take(Count);
}

}  // namespace bench
