// Figures for the reliability report. Each case prints one line on standard
// output,
//   RELIABILITY <case> | <what was tried> | <figure>=<value> ...
// which tools/reliability.sh collects into tests/reliability/README.md.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>

class TReliabilityFigures {
 public:
  TReliabilityFigures(std::string Case, std::string What)
      : FCase(std::move(Case)), FWhat(std::move(What)) {}

  template <typename T>
  TReliabilityFigures& Add(const std::string& Name, const T& Value) {
    FFigures << (FFigures.tellp() > 0 ? " " : "") << Name << "=" << Value;
    return *this;
  }

  void Print() const {
    std::printf("RELIABILITY %s | %s | %s\n", FCase.c_str(), FWhat.c_str(), FFigures.str().c_str());
    std::fflush(stdout);
  }

 private:
  std::string FCase;
  std::string FWhat;
  std::ostringstream FFigures;
};
