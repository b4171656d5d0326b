// Small helpers for the Markdown sections the benchmark programs write into
// bench/results.md (through bench.sh).
#pragma once

#include <cstdio>
#include <fstream>
#include <string>

namespace bench {

inline std::string Fixed(double Value, int Decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", Decimals, Value);
  return text;
}

// A count with thin groups of three digits, as the tables show them.
inline std::string Grouped(unsigned long long Value) {
  std::string digits = std::to_string(Value);
  std::string out;
  const int length = static_cast<int>(digits.size());
  for (int i = 0; i < length; ++i) {
    if (i > 0 && (length - i) % 3 == 0) out += ' ';
    out += digits[static_cast<std::size_t>(i)];
  }
  return out;
}

inline std::string Verdict(bool Met) { return Met ? "met" : "**missed**"; }

// One row of the summary table at the top of bench/results.md: the target,
// the figure measured (with its reference where there is one), the verdict.
inline void AppendSummary(const std::string& File, const std::string& Target,
                          const std::string& Measured, const std::string& Outcome) {
  if (File.empty()) return;
  std::ofstream(File, std::ios::app) << "| " << Target << " | " << Measured << " | " << Outcome
                                     << " |\n";
}

// The value of "--name=value" or "--name value" among the arguments; empty
// when absent. Consumed arguments are left in place for other parsers.
inline std::string Option(int Argc, char** Argv, const std::string& Name) {
  const std::string flag = "--" + Name;
  for (int i = 1; i < Argc; ++i) {
    const std::string arg = Argv[i];
    if (arg.rfind(flag + "=", 0) == 0) return arg.substr(flag.size() + 1);
    if (arg == flag && i + 1 < Argc) return Argv[i + 1];
  }
  return {};
}

}  // namespace bench
