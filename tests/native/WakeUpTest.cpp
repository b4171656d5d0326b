// Delayed messages leave at their due times, not at the tick after them:
// each case plays a script on the simulated clock (milliseconds from its
// start) and names when each device must receive what.
#include <cmath>
#include <sstream>

#include "tests/native/EngineFixture.h"

namespace {

// ms: the simulated clock stops at each wake-up exactly; date-time values
// this far from their epoch are exact to about half a microsecond.
constexpr double Exact = 1e-3;

enum class TDo { Play, Delay, Interval, Stop, Start };

struct TStep {
  double AtMs = 0;
  TDo Do = TDo::Play;
  std::int32_t Device = 0;  // Play: the channel routed to it; Delay: whose delay
  std::int32_t Value = 0;   // Play: the key; Delay, Interval: milliseconds
};

struct TSend {
  std::int32_t Device = 0;
  std::int32_t Key = 0;
  double AtMs = 0;
};

struct TCase {
  const char* Name;
  std::vector<TStep> Steps;
  std::vector<TSend> Sends;  // per device in the order received
};

constexpr DWORD NoteOn(std::int32_t Channel, std::int32_t Key) {
  return static_cast<DWORD>(0x90 | Channel) | (static_cast<DWORD>(Key) << 8) | (0x40u << 16);
}

class WakeUp : public EngineFixture {
 protected:
  // Channel d goes to device d; nothing else plays.
  void Run(const TCase& C) {
    BootAndStart();
    for (std::uint8_t channel = 1; channel < 3; ++channel) engine->SetChannelDevice(channel, channel);
    // Somewhere between two periodic ticks, so that no due time meets one by chance.
    sim::RunFor(1.7);
    const TDateTime start = sim::NowValue();
    double elapsed = 0;
    for (const TStep& step : C.Steps) {
      sim::RunFor(step.AtMs - elapsed);
      elapsed = step.AtMs;
      switch (step.Do) {
        case TDo::Play: Play(NoteOn(step.Device, step.Value)); break;
        case TDo::Delay: engine->SetDelay(step.Device, step.Value); break;
        case TDo::Interval: engine->SetTimerInterval(step.Value); break;
        case TDo::Stop: engine->Timer().SetEnabled(false); break;
        case TDo::Start: engine->Timer().SetEnabled(true); break;
      }
    }
    sim::RunFor(100);
    for (std::int32_t device = 0; device < 3; ++device) {
      std::vector<const TSend*> due;
      for (const TSend& send : C.Sends)
        if (send.Device == device) due.push_back(&send);
      // On time shows as the due time itself; late or early shows as it is.
      std::ostringstream expected, received;
      for (const TSend* send : due) expected << send->Key << "@" << send->AtMs << " ";
      const auto got = sim::ReceivedBy(device);
      for (std::size_t n = 0; n < got.size(); ++n) {
        const double at = DateTimeToMilliseconds(got[n].Time - start);
        const bool onTime = n < due.size() && std::abs(at - due[n]->AtMs) <= Exact;
        received << ((got[n].Short >> 8) & 0x7F) << "@" << (onTime ? due[n]->AtMs : at) << " ";
      }
      EXPECT_EQ(received.str(), expected.str()) << C.Name << ", device " << device;
    }
    Shutdown();
    sim::Reset();
    SetUp();
  }
};

TEST_F(WakeUp, DelayedMessagesLeaveAtTheirDueTimesWhateverTheTick) {
  const TCase cases[] = {
      {"due between two ticks",
       {{0, TDo::Delay, 1, 5}, {0, TDo::Play, 1, 1}, {1.3, TDo::Play, 1, 2}},
       {{1, 1, 5}, {1, 2, 6.3}}},
      {"many due times close together, two devices interleaved",
       {{0, TDo::Delay, 1, 5}, {0, TDo::Delay, 2, 7}, {0, TDo::Play, 1, 1}, {0, TDo::Play, 2, 2},
        {0.1, TDo::Play, 1, 3}, {0.2, TDo::Play, 2, 4}, {1.95, TDo::Play, 2, 5}, {2, TDo::Play, 1, 6}},
       {{1, 1, 5}, {1, 3, 5.1}, {1, 6, 7}, {2, 2, 7}, {2, 4, 7.2}, {2, 5, 8.95}}},
      {"a shorter delay on another device moves the wake-up earlier",
       {{0, TDo::Delay, 1, 30}, {0, TDo::Delay, 2, 5}, {0, TDo::Play, 1, 1}, {1, TDo::Play, 2, 2}},
       {{1, 1, 30}, {2, 2, 6}}},
      {"a lowered delay keeps the device's order",
       {{0, TDo::Delay, 1, 30}, {0, TDo::Play, 1, 1}, {2, TDo::Delay, 1, 2}, {2, TDo::Play, 1, 2},
        {40, TDo::Play, 1, 3}},
       {{1, 1, 30}, {1, 2, 30}, {1, 3, 42}}},
      {"the timer stopped and started",
       {{0, TDo::Delay, 1, 10}, {0, TDo::Play, 1, 1}, {2, TDo::Stop}, {15, TDo::Start}, {16, TDo::Play, 1, 2}},
       {{1, 1, 15}, {1, 2, 26}}},
      {"the interval changed while messages wait",
       {{0, TDo::Delay, 1, 10}, {0, TDo::Delay, 2, 20}, {0, TDo::Play, 1, 1}, {0, TDo::Play, 2, 2},
        {3, TDo::Interval, 0, 7}, {12, TDo::Interval, 0, 1}},
       {{1, 1, 10}, {2, 2, 20}}},
  };
  for (const TCase& c : cases) Run(c);
}

}  // namespace
