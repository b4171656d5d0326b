// How fast an undelayed route passes a message on, Velmora's main window on
// screen with its lamps flickering, beside the least a Windows MIDI thru can
// do (TBareThru): latency from the moment the virtual
// driver hands an input message to winmm until the output call reaches the
// driver, both stamped by the driver with the performance counter. The two
// play the same stretch of a song (SongStream) in each run, taking turns
// at going first; each run gives the ratios of Velmora's p50 and p99 to the
// bare thru's, and the report gives the median of those ratios. A second
// measurement merges two inputs playing at once (two stretches of the song)
// into the one output: Velmora with the second input checked on its Inputs
// page beside a bare thru that merges the same two inputs.
//
//   velmora_thru_latency.exe [--runs=6] [--messages=1000] [--markdown=file] [--summary=file]
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "VirtualMidiEnvironment.h"
#include "bench/LatencySummary.h"
#include "bench/Markdown.h"
#include "bench/windows/BareThru.h"
#include "bench/windows/StreamPlayer.h"
#include "bench/windows/VelmoraWindowUnderTest.h"
#include "bench/windows/WineMeasurement.h"
#include "engine/VelmoraEngine.h"

using namespace testdevices;

namespace {

constexpr std::int32_t DefaultInterval = 4;  // Velmora's own default
constexpr double RatioTarget = 1.2;
constexpr unsigned TailMs = 100;            // for the last messages to come out

struct TPass {
  bench::TLatencySummary Latency;
  std::size_t Lost = 0;   // played but not received, or received other than played
};

// The driver's records of what reached the output, matched in order to
// what was played.
TPass Collect(vmidi::Controller& Driver, const std::vector<bench::TTimedMessage>& Stream,
              const std::vector<std::int64_t>& HandedAt) {
  Driver.Sync();
  const auto received = Driver.Received(OutSynthB);
  TPass pass;
  std::vector<double> latency;
  for (std::size_t n = 0; n < Stream.size(); ++n) {
    if (n >= received.size() || HandedAt[n] == 0 || received[n].Packed() != Stream[n].Message) {
      ++pass.Lost;
      continue;
    }
    latency.push_back(QpcToMilliseconds(received[n].Qpc - HandedAt[n]));
  }
  pass.Latency = bench::Summarise(latency);
  return pass;
}

// Two inputs played at once: each record at the output is the next message
// of one input's stream (of two that fit, the one handed to winmm first),
// and each input's messages must come out in their order.
TPass CollectMerged(vmidi::Controller& Driver, const std::array<std::vector<bench::TTimedMessage>, 2>& streams,
                    const std::array<std::vector<std::int64_t>, 2>& HandedAt) {
  Driver.Sync();
  std::array<std::size_t, 2> next{0, 0};
  TPass pass;
  const auto skipUntaken = [&](std::size_t input) {
    while (next[input] < streams[input].size() && HandedAt[input][next[input]] == 0) {
      ++pass.Lost;
      ++next[input];
    }
  };
  std::vector<double> latency;
  for (const vmidi::OutputRecord& record : Driver.Received(OutSynthB)) {
    int from = -1;
    for (std::size_t input = 0; input < 2; ++input) {
      skipUntaken(input);
      if (next[input] >= streams[input].size() || streams[input][next[input]].Message != record.Packed()) continue;
      if (from < 0 || HandedAt[input][next[input]] < HandedAt[static_cast<std::size_t>(from)][next[static_cast<std::size_t>(from)]])
        from = static_cast<int>(input);
    }
    if (from < 0) continue;
    const auto input = static_cast<std::size_t>(from);
    latency.push_back(QpcToMilliseconds(record.Qpc - HandedAt[input][next[input]]));
    ++next[input];
  }
  for (std::size_t input = 0; input < 2; ++input) pass.Lost += streams[input].size() - next[input];
  pass.Latency = bench::Summarise(latency);
  return pass;
}

// Starts the program with the driver's records cleared before and after its
// ports opened, so only the played stream is recorded.
template <typename TProgram>
auto StartQuiet(vmidi::Controller& Driver, TProgram&& Start) {
  Driver.Sync();
  Driver.ClearRecords();
  auto program = Start();
  PumpFor(50);  // the ports' opening notices handled
  Driver.Sync();
  Driver.ClearRecords();
  return program;
}

template <typename TProgram>
TPass PlayMerged(vmidi::Controller& Driver, const std::array<std::vector<bench::TTimedMessage>, 2>& Streams,
                 TProgram&& Start) {
  auto program = StartQuiet(Driver, Start);
  std::array<std::vector<std::int64_t>, 2> handedAt;
  {
    bench::TStreamPlayer first(Driver, InUsbMidi, Streams[0]);
    bench::TStreamPlayer second(Driver, InKeyboard, Streams[1]);
    first.PumpUntilPlayed(0);
    second.PumpUntilPlayed(TailMs);
    handedAt = {first.HandedAt(), second.HandedAt()};
  }
  return CollectMerged(Driver, Streams, handedAt);
}

std::unique_ptr<bench::TVelmoraWindowUnderTest> StartVelmora() {
  std::vector<bench::TRoute> routes;
  for (int channel = 0; channel < 16; ++channel) routes.push_back({channel, OutSynthB});
  return std::make_unique<bench::TVelmoraWindowUnderTest>(DefaultInterval, routes);
}

template <typename TProgram>
TPass Play(vmidi::Controller& Driver, const std::vector<bench::TTimedMessage>& Stream, TProgram&& Start) {
  auto program = StartQuiet(Driver, Start);
  std::vector<std::int64_t> handedAt;
  {
    bench::TStreamPlayer player(Driver, InUsbMidi, Stream);
    player.PumpUntilPlayed(TailMs);
    handedAt = player.HandedAt();
  }
  return Collect(Driver, Stream, handedAt);
}

// What one comparison reports: its section of the results and its summary row.
struct TComparison {
  const char* Title;
  std::string Setting;  // what was measured, for the section's first paragraph
  const char* SummaryRow;
  std::size_t PlayedPerRun;  // messages each program is played in one run, all inputs together
};

// Runs the bare reference and Velmora in turns, run by run, and reports the
// medians of the per-run ratios. PlayBare and PlayVelmora play run r's stream.
template <typename TBare, typename TVelmora>
void Compare(const bench::TWineOptions& Options, const TComparison& Comparison, TBare&& PlayBare,
             TVelmora&& PlayVelmora) {
  const int runs = Options.Runs;
  const std::string& markdown = Options.Markdown;
  const std::string& summary = Options.Summary;
  const std::size_t messages = Comparison.PlayedPerRun;
  std::string rows;
  std::vector<double> p50Ratios, p99Ratios;
  std::size_t lost = 0;
  for (int run = 0; run < runs; ++run) {
    // Turns about, so that neither always meets a machine just woken.
    TPass b, v;
    if (run % 2 == 0) {
      b = PlayBare(run);
      v = PlayVelmora(run);
    } else {
      v = PlayVelmora(run);
      b = PlayBare(run);
    }
    lost += b.Lost + v.Lost;
    const double r50 = v.Latency.P50 / b.Latency.P50, r99 = v.Latency.P99 / b.Latency.P99;
    p50Ratios.push_back(r50);
    p99Ratios.push_back(r99);
    rows += "| " + std::to_string(run + 1) + (run % 2 == 0 ? " (bare first)" : " (Velmora first)") + " | " +
            std::to_string(v.Latency.Count) + " | " + bench::Figures(b.Latency) + " | " + bench::Figures(v.Latency) + " | " +
            bench::Fixed(r50, 2) + "× | " + bench::Fixed(r99, 2) + "× | " + std::to_string(b.Lost) + " / " +
            std::to_string(v.Lost) + " |\n";
    std::printf("%s, run %d: bare %s, Velmora %s ms (p50 / p99 / max)\n", Comparison.Title, run + 1,
                bench::Figures(b.Latency).c_str(), bench::Figures(v.Latency).c_str());
    std::fflush(stdout);
  }
  const double m50 = bench::Median(p50Ratios), m99 = bench::Median(p99Ratios);
  const bool met = m50 <= RatioTarget && m99 <= RatioTarget && lost == 0;

  std::string report;
  report += std::string("### ") + Comparison.Title + "\n\n" + Comparison.Setting + "\n\n";
  report += "| Run | Messages each | Bare thru p50 / p99 / max ms | Velmora p50 / p99 / max ms | p50 ratio | p99 ratio | Lost (bare / Velmora) |\n";
  report += "|---|---:|---:|---:|---:|---:|---:|\n" + rows + "\n";
  report += "Median of the per-run ratios over " + std::to_string(runs) + " runs (" + std::to_string(runs * messages) +
            " messages each): p50 " + bench::Fixed(m50, 2) + "×, p99 " + bench::Fixed(m99, 2) + "×. Target within " +
            bench::Fixed(RatioTarget, 1) + "× at both, nothing lost: " + bench::Verdict(met) + ".\n";
  std::printf("%s", report.c_str());
  if (!markdown.empty()) std::ofstream(markdown, std::ios::app) << report << "\n";
  bench::AppendSummary(summary, Comparison.SummaryRow,
                       "p50 " + bench::Fixed(m50, 2) + "×, p99 " + bench::Fixed(m99, 2) + "× over " + std::to_string(runs) +
                           " runs of " + std::to_string(messages) + " messages (" + std::to_string(lost) + " lost)",
                       bench::Verdict(met));
}

}  // namespace

int Measure(const bench::TWineOptions& Options, vmidi::Controller& Driver) {
  const std::size_t messages = Options.Messages;
  const std::string program =
      "*Velmora*: the whole program as a user starts it, its main window on screen with the lamps of the input and of the sixteen rows flickering with the stream, every channel routed to one device with no delay, timer interval " +
      std::to_string(DefaultInterval) + " ms.";
  const std::string song =
      " messages of a song (`SongStream.cpp`: six channels, drums, bass, chords played as bursts, an expression ramp, pitch bends, a pedal; about 95 messages a second)";
  const std::string latency = "`bench/windows/ThruLatency.cpp`, " + bench::SystemUnderneath() +
                              ", virtual MIDI driver. Latency from the moment the driver hands an input message to winmm until the output call reaches the driver, both stamped by the driver with the performance counter. ";
  const auto stream = [&](int run, unsigned offset) {
    return bench::SongStream(messages, static_cast<unsigned>(run + 1) + offset);
  };

  Compare(Options,
          {.Title = "Undelayed route beside a bare thru under Wine",
           .Setting = latency + "*Bare thru* (`bench/windows/BareThru.cpp`, the reference): the input opened with window notification, `midiOutShortMsg` called in the notice handler. " +
                      program + " Each run plays the same " + std::to_string(messages) + song +
                      " through both, one after the other, the first taking turns.",
           .SummaryRow = "Undelayed route at the 4 ms interval within 1.2× of a bare thru under Wine (p50 and p99, median of per-run ratios)",
           .PlayedPerRun = messages},
          [&](int run) {
            return Play(Driver, stream(run, 0), [] { return std::make_unique<bench::TBareThru>(InUsbMidi, OutSynthB); });
          },
          [&](int run) { return Play(Driver, stream(run, 0), StartVelmora); });

  // Streams of their own for the second input, so the two play different music at once.
  constexpr unsigned SecondInputSeeds = 1000;
  const auto streams = [&](int run) { return std::array{stream(run, 0), stream(run, SecondInputSeeds)}; };
  Compare(Options,
          {.Title = "Two inputs merged, beside a bare thru merging them, under Wine",
           .Setting = latency + "Two inputs play at once, each its own " + std::to_string(messages) + song +
                      ", into one output; each message at the output is matched to its input in order. *Bare thru*: both inputs opened as above, each notice handler calling `midiOutShortMsg` on the one output. " +
                      program + " The second input is checked on the *Inputs* page. The first taking turns, as above.",
           .SummaryRow = "Undelayed route from each of two inputs playing at once within 1.2× of a bare thru merging them under Wine (p50 and p99, median of per-run ratios)",
           .PlayedPerRun = 2 * messages},
          [&](int run) {
            return PlayMerged(Driver, streams(run), [] {
              return std::make_unique<bench::TBareThru>(std::vector<UINT>{InUsbMidi, InKeyboard}, OutSynthB);
            });
          },
          [&](int run) {
            return PlayMerged(Driver, streams(run), [] {
              auto velmora = StartVelmora();
              GlobalEngine->SetInputChecked(InKeyboard, true);
              return velmora;
            });
          });
  return 0;
}

int main(int argc, char** argv) { return bench::RunWineBenchmark(argc, argv, "velmora_thru_latency", 6, Measure); }
