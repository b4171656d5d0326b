// Exceptions are raised only on misuse of internal structures, with fixed
// texts; MIDI port failures are results and state reports, never exceptions.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
};

class EListError : public Exception {
 public:
  explicit EListError(const std::string& Message) : Exception(Message) {}
};
