// Exceptions are raised only on misuse of internal structures, with fixed
// texts; MIDI port failures are results and state reports, never exceptions.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

class EListError : public Exception {
 public:
  explicit EListError(const std::string& message) : Exception(message) {}
};
