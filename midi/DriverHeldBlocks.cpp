#include "midi/DriverHeldBlocks.h"

#include <mutex>
#include <vector>

namespace {
std::mutex KeptLock;
std::vector<void*>& Kept() {  // guarded by KeptLock
  // Never destroyed: the blocks stay reachable through it while the static
  // objects are torn down at exit, when leak checkers look.
  static auto* kept = new std::vector<void*>;
  return *kept;
}
}  // namespace

void KeepBlockForDriver(void* Block) {
  std::lock_guard<std::mutex> guard(KeptLock);
  Kept().push_back(Block);
}
