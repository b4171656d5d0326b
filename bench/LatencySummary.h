// Percentiles of a set of latencies, by nearest rank.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace bench {

struct TLatencySummary {
  std::size_t Count = 0;
  double P50 = 0;
  double P99 = 0;
  double P999 = 0;
  double Max = 0;
};

// Sorts the samples in place.
inline TLatencySummary Summarise(std::vector<double>& Samples) {
  TLatencySummary summary;
  summary.Count = Samples.size();
  if (Samples.empty()) return summary;
  std::sort(Samples.begin(), Samples.end());
  const auto rank = [&](double fraction) {
    const double position = std::ceil(fraction * static_cast<double>(Samples.size()));
    const std::size_t index = position < 1 ? 0 : static_cast<std::size_t>(position) - 1;
    return Samples[std::min(index, Samples.size() - 1)];
  };
  summary.P50 = rank(0.50);
  summary.P99 = rank(0.99);
  summary.P999 = rank(0.999);
  summary.Max = Samples.back();
  return summary;
}

}  // namespace bench

namespace bench {

// The median of a few figures (the per-run ratios); 0 for none.
inline double Median(std::vector<double> Values) {
  if (Values.empty()) return 0;
  std::sort(Values.begin(), Values.end());
  const std::size_t middle = Values.size() / 2;
  return Values.size() % 2 ? Values[middle] : (Values[middle - 1] + Values[middle]) / 2;
}

}  // namespace bench
