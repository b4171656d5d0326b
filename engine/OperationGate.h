// Lets one operation run at a time on the main thread. An operation asked
// for while another runs, or from an event handler (or anything such a
// handler lets in), is not run inside it but after it has ended, in the
// order asked; none is lost or refused. Main thread only.
#pragma once

#include <deque>
#include <functional>

#include "engine/ScopeExit.h"

class TOperationGate {
 public:
  using TOperation = std::function<void()>;

  // Runs Operation now, or after the operation or handler in progress.
  // Operations asked for by a handler that throws still run as the outer
  // operation ends; the exception then goes on.
  void Run(TOperation Operation);

  // Calls an event handler. Operations it asks for wait for its end (and
  // for the end of the operation that fired it, if any).
  template <class Handler>
  void CallHandler(Handler&& Call) {
    {
      ++FHandlerDepth;
      const TScopeExit leave([this] { --FHandlerDepth; });
      Call();
    }
    if (FHandlerDepth == 0 && FOperationDepth == 0) RunDeferred();
  }

 private:
  void RunDeferred();

  // Operations in progress, event handlers running inside them, and the
  // operations asked for meanwhile.
  int FOperationDepth = 0;
  int FHandlerDepth = 0;
  bool FRunningDeferred = false;
  std::deque<TOperation> FDeferred;
};
