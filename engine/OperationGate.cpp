#include "engine/OperationGate.h"

void TOperationGate::Run(TOperation Operation) {
  // An operation asked for from an event handler would otherwise run in the
  // middle of the one that fired the event, on half-changed state.
  if (FHandlerDepth > 0) {
    FDeferred.push_back(std::move(Operation));
    return;
  }
  try {
    ++FOperationDepth;
    const TScopeExit leave([this] { --FOperationDepth; });
    Operation();
  } catch (...) {
    // What the failed operation's handlers asked for still runs now, not
    // inside some later, unrelated operation.
    if (FOperationDepth == 0) RunDeferred();
    throw;
  }
  if (FOperationDepth == 0) RunDeferred();
}

void TOperationGate::RunDeferred() {
  if (FRunningDeferred) return;
  FRunningDeferred = true;
  const TScopeExit done([this] { FRunningDeferred = false; });
  while (!FDeferred.empty() && FHandlerDepth == 0) {
    TOperation next = std::move(FDeferred.front());
    FDeferred.pop_front();
    ++FOperationDepth;
    const TScopeExit leave([this] { --FOperationDepth; });
    next();
  }
}
