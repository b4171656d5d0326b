#include "midi/OpenHandles.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {
std::mutex HandlesLock;
std::vector<const void*>& Handles() {  // guarded by HandlesLock
  static std::vector<const void*> handles;
  return handles;
}
}  // namespace

void NoteHandleOpened(const void* Handle) {
  if (Handle == nullptr) return;
  std::lock_guard<std::mutex> guard(HandlesLock);
  Handles().push_back(Handle);
}

void NoteHandleReleased(const void* Handle) {
  if (Handle == nullptr) return;
  std::lock_guard<std::mutex> guard(HandlesLock);
  auto& handles = Handles();
  const auto found = std::find(handles.begin(), handles.end(), Handle);
  if (found != handles.end()) handles.erase(found);
}

bool HandleHeldByAPort(const void* Handle) {
  std::lock_guard<std::mutex> guard(HandlesLock);
  const auto& handles = Handles();
  return std::find(handles.begin(), handles.end(), Handle) != handles.end();
}
