// Runs a function when the scope ends, however it ends.
#pragma once

#include <utility>

template <class Function>
class TScopeExit {
 public:
  explicit TScopeExit(Function OnExit) : FOnExit(std::move(OnExit)) {}
  ~TScopeExit() { FOnExit(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  Function FOnExit;
};
